#pragma once

#include "device/Backup2ToolHook.h"
#include "device/PlistCFType.h"
#include "device/_backup2tool_req.h"

#include <QDir>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

class Backup2Channel;

// The computer's side of the device backup protocol (mobilebackup2): opens the device, sends one
// Backup or Restore request and serves the device's DeviceLink messages until it ends the
// conversation. Every change on disk goes through the hook.
class backup2tool : public QObject
{
    Q_OBJECT
public:
    backup2tool(const QString& udid, const QDir& backupRoot, QSharedPointer<Backup2ToolHook> hook,
        QObject* parent = nullptr);
    ~backup2tool() override;

    // Runs one whole conversation on the calling thread. Returns normally on success, on cancel and
    // when the device disconnects; otherwise throws std::runtime_error with a text for the user.
    void runThrow(_backup2tool_req req);

    void setCancel();
    bool isCancel();

    const QString& status1() const { return m_status1; }
    const QString& status2() const { return m_status2; }
    double progress() const { return m_progress; }

    // When set, a request of the device for "Manifest.db" is served from this file of the device folder.
    QString manifestDbName;
    // The last local file error met while sending files to the device; kept across runs.
    QString lastFileError;
    // Consecutive receive time-outs of the message loop after which the run ends (the library
    // waits 30 s per receive); 0 waits without limit.
    int maxIdleTurns = 60;

    // The text of the free-space figure formats used while receiving files ("1.0 KB", "999 Bytes").
    static QString formatSize(quint64 size);
    // The device code of a hook result: 2 becomes -6, 17 becomes -7, any other c becomes -c.
    static int deviceCode(int hookCode);

signals:
    void update(double pg, QString status1, QString status2);

public slots:
    void cancel();

private:
    int innerRunThrow(_backup2tool_req req, QString& message);
    int messageLoopThrow(Backup2Channel& channel, const _backup2tool_req& req, QString& message);

    void sendFilesThrow(Backup2Channel& client, PlistCFType message);
    void sendFileThrow(Backup2Channel& client, const QString& path, PlistCFType& errors);
    void recvFilesThrow(Backup2Channel& client, PlistCFType message);
    QString recvFileNameThrow(Backup2Channel& client);
    int recvFileThrow(Backup2Channel& client, const QString& dname, const QString& path, QString& err);
    void sendDirContentsThrow(Backup2Channel& client, PlistCFType message);
    void moveFilesThrow(Backup2Channel& client, PlistCFType message);
    void removeFilesThrow(Backup2Channel& client, PlistCFType message);
    void copyItemThrow(Backup2Channel& client, PlistCFType message);
    void createDirectoryThrow(Backup2Channel& client, PlistCFType message);
    void sendFreeDiskSpaceThrow(Backup2Channel& client);

    // Refuses a message: an error status to the device, then the run ends with `text`.
    [[noreturn]] void rejectThrow(Backup2Channel& client, const QString& text);
    // The path must stay inside the backup root, else the message is refused.
    void checkPathThrow(Backup2Channel& client, const QString& messageName, const QString& path);
    void replyThrow(Backup2Channel& client, int code, const QString& description, const PlistCFType& content,
        const QString& failureText);

    // Sends all bytes; 0 or the channel's error code.
    int sendAll(Backup2Channel& client, const char* data, quint32 length);
    // Receives exactly `length` bytes unless the peer fails or stays silent; returns the count.
    quint32 recvExact(Backup2Channel& client, char* data, quint32 length);

    QMutex mutex;
    QString udid;
    QDir backupRoot;
    QDir deviceDir;
    QSharedPointer<Backup2ToolHook> hook;
    QString m_status1;
    QString m_status2;
    double m_progress = 0;
    bool cancelFlag = false;
};
