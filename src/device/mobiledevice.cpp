#include "device/mobiledevice.h"

#include "device/Backup2Channel.h"
#include "device/iDevice.h"

PlistCFType mobiledevice_info(const QString& udid, const QString& domain, const QString& key)
{
    iDevice dev(udid);
    if (!dev.open())
        return PlistCFType(nullptr, true);
    return mobiledevice_info(&dev, domain, key);
}

PlistCFType mobiledevice_info(iDevice* dev, const QString& domain, const QString& key)
{
    if (!dev || !dev->hasClient())
        return PlistCFType(nullptr, true);
    PlistCFType value;
    const QString d = domain.isEmpty() ? QString() : domain;
    const QString k = key.isEmpty() ? QString() : key;
    if (dev->client->getValue(d, k, value) != 0)
        return PlistCFType(nullptr, true);
    return value;
}

bool mobiledevice_set(iDevice* dev, const QString& domain, const QString& key, const PlistCFType& value)
{
    if (!dev || !dev->hasClient())
        return false;
    // Empty strings go to the device as empty strings, unlike reads.
    return dev->client->setValue(domain, key, value) == 0;
}

bool mobiledevice_set(
    const QString& udid, const QString& domain, const QString& key, const PlistCFType& value)
{
    iDevice dev(udid);
    if (!dev.open())
        return false;
    return mobiledevice_set(&dev, domain, key, value);
}

void enableOrDisableICloudBackup(const QString& udid, bool enable)
{
    // The backup service's own switch: the message "EnableCloudBackup" with the wanted state.
    iDevice dev(udid);
    if (!dev.open())
        return;
    std::unique_ptr<Backup2Channel> channel;
    if (dev.connection()->startBackup2(channel) != 0 || !channel)
        return;
    double remote = 0;
    if (channel->versionExchange({ 2.0, 2.1 }, remote) != 0)
        return;
    PlistCFType options = PlistCFType::createCFDictionary();
    options.put(QStringLiteral("CloudBackupState"), PlistCFType::createCFBoolean(enable));
    if (channel->sendMessage(QStringLiteral("EnableCloudBackup"), options) != 0)
        return;
    PlistCFType reply;
    QString name;
    channel->receiveMessage(reply, name);
}
