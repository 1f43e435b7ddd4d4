#pragma once

#include "device/PlistCFType.h"

#include <QString>

class iDevice;

// Lockdown values. A null or empty domain or key reads as absent: both empty give the whole default
// domain, an empty key the whole domain. A null value on any failure; never throws.
PlistCFType mobiledevice_info(const QString& udid, const QString& domain, const QString& key);
// The same over a handle whose lockdown client is open.
PlistCFType mobiledevice_info(iDevice* dev, const QString& domain, const QString& key);

// Writes a lockdown value (a copy of it; the caller's value stays intact). True when accepted.
bool mobiledevice_set(iDevice* dev, const QString& domain, const QString& key, const PlistCFType& value);
bool mobiledevice_set(
    const QString& udid, const QString& domain, const QString& key, const PlistCFType& value);

// Switches the device's iCloud backup on or off; the result is not reported.
void enableOrDisableICloudBackup(const QString& udid, bool enable);
