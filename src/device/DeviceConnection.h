#pragma once

#include "device/PlistCFType.h"

#include <QString>
#include <QStringList>
#include <memory>

class AfcSession;
class SyncSession;
class Backup2Channel;

// One opened device (idevice_t) with at most one lockdown client, as the device back end gives it.
// Freeing the object frees the lockdown client first, then the device.
class DeviceConnection
{
public:
    virtual ~DeviceConnection();

    // lockdownd_client_new_with_handshake (handshake true) or lockdownd_client_new; lockdown code.
    virtual int lockdownNew(const QString& label, bool handshake) = 0;
    virtual bool hasLockdown() const = 0;
    virtual void lockdownFree() = 0;

    // lockdownd_get_value; a null domain or key (QString()) is passed as absent. On success `value`
    // owns the answer.
    virtual int getValue(const QString& domain, const QString& key, PlistCFType& value) = 0;
    // lockdownd_set_value with a deep copy of value; empty strings are passed as empty strings.
    virtual int setValue(const QString& domain, const QString& key, const PlistCFType& value) = 0;
    // lockdownd_pair with no pair record.
    virtual int pair() = 0;

    // lockdownd_start_service "com.apple.afc" and afc_client_new; needs the lockdown client.
    virtual int startAfc(std::unique_ptr<AfcSession>& afc) = 0;
    // mobilesync_client_start_service under the label (makes its own lockdown client).
    virtual int startSync(const QString& label, std::unique_ptr<SyncSession>& sync) = 0;
    // instproxy_client_start_service, then instproxy_browse of the apps of one application type with
    // the given return attributes; on success `apps` owns the array.
    virtual int browseApps(const QString& label, const QString& applicationType,
        const QStringList& attributes, PlistCFType& apps)
        = 0;
    // lockdownd_start_service_with_escrow_bag "com.apple.mobilebackup2", then the lockdown client is
    // freed whatever happened, then mobilebackup2_client_new. Non-zero when any step failed.
    virtual int startBackup2(std::unique_ptr<Backup2Channel>& channel) = 0;
};
