#pragma once

#include <QDir>
#include <QString>

// One attached device as the device list knows it; passed by shared pointer.
struct _IOSDevice {
    // The device's cache folder ("ios_cache/<udid>" of the data folder), created when missing.
    QDir cacheDir() const;

    QString udid;
    QString deviceName;
    QString mobileSubscriberCountryCode;
    QString productType;
    QString productVersion;
    // The password of this device's encrypted backups once a restore action accepted it; memory only.
    QString backupPassword;
};
