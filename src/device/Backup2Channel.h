#pragma once

#include "device/PlistCFType.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An open mobilebackup2 client: the DeviceLink messages and the raw byte stream of one backup or
// restore conversation. Results are mobilebackup2 error codes, 0 = success (-5 is a receive time-out).
class Backup2Channel
{
public:
    virtual ~Backup2Channel();

    virtual int versionExchange(const QList<double>& localVersions, double& remoteVersion) = 0;
    virtual int sendRequest(const QString& request, const QByteArray& targetIdentifier,
        const QByteArray& sourceIdentifier, const PlistCFType& options)
        = 0;
    virtual int sendMessage(const QString& message, const PlistCFType& options) = 0;
    // One DeviceLink message: on success `message` owns the array and `name` is its first element.
    virtual int receiveMessage(PlistCFType& message, QString& name) = 0;
    // May send or receive fewer bytes than asked; `done` says how many.
    virtual int sendRaw(const char* data, quint32 length, quint32& done) = 0;
    virtual int receiveRaw(char* data, quint32 length, quint32& done) = 0;
    // A null description sends none; a null content sends none.
    virtual int sendStatusResponse(int code, const QString& description, const PlistCFType& content) = 0;
};
