#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Open modes of AFC files, numbered as the device library numbers them.
enum AfcFileMode { AfcReadOnly = 1, AfcReadWrite = 2, AfcWriteOnly = 3 };
// Lock operations of AFC files, numbered as the device library numbers them.
enum AfcLockOp { AfcLockShared = 1 | 4, AfcLockExclusive = 2 | 4, AfcUnlock = 8 | 4 };

// An open AFC client (the device's file service). Results are AFC error codes, 0 = success.
class AfcSession
{
public:
    virtual ~AfcSession();

    virtual int getFileInfo(const QString& path, QList<QPair<QByteArray, QByteArray>>& pairs) = 0;
    virtual int readDirectory(const QString& path, QList<QByteArray>& names) = 0;
    virtual int makeDirectory(const QString& path) = 0;
    virtual int removePathAndContents(const QString& path) = 0;
    virtual int renamePath(const QString& from, const QString& to) = 0;
    virtual int fileOpen(const QString& path, int mode, quint64& handle) = 0;
    virtual int fileRead(quint64 handle, char* data, quint32 length, quint32& bytesRead) = 0;
    virtual int fileWrite(quint64 handle, const char* data, quint32 length, quint32& bytesWritten) = 0;
    virtual int fileClose(quint64 handle) = 0;
    virtual int fileLock(quint64 handle, int operation) = 0;
};
