#pragma once

#include "device/PlistCFType.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

// The file operations of the device backup protocol host on the computer's disk. The default keeps
// the backup as plain files under the backup root; subclasses keep it another way. Paths are
// relative to the root; int results are 0 for success, else an error code with a text in `err`.
class Backup2ToolHook
{
public:
    struct DirItem {
        QString name;
        int kind = 1; // 1 file, 2 folder
        qint64 size = 0;
        QDateTime modified;
    };

    virtual ~Backup2ToolHook();

    // Called once per run before the device is opened; may throw to refuse the run.
    virtual void beginThrow(QDir root, QString udid);
    // Called for each DeviceLink message before the host handles it; false ends the run with `code`.
    virtual bool onHandleMsgContinue(QDir root, QString udid, PlistCFType message, int& code, QString& text);
    virtual QList<DirItem> dirContents(QDir root, QString path);
    virtual void recvFileBegin(QDir root, QString udid, QString path, QString dname);
    // Opens `file` for writing; 0 with `file` left closed makes the host read the data and drop it.
    virtual int recvFileOpenWrite(QDir root, QString path, QFile& file, QString& err);
    virtual void recvFileEnd(QDir root, QString path, unsigned long long size);
    virtual int moveFile(QDir root, QString from, QString to, QString& err);
    virtual int removeFile(QDir root, QString path, QString& err);
    virtual int copyFile(QDir root, QString from, QString to, QString& err);
    virtual int mkdir(QDir root, QString path, QString& err);
};

// Deletes a folder with everything in it; symbolic links are removed, never followed.
void rmdir_recursive(const QString& path);
// Copies a file or a folder tree; symbolic links are not followed (they are left out).
int copy_recursive(const QString& from, const QString& to, QString& err);
