#include "device/iDevice.h"

#include "device/DeviceBackend.h"

namespace
{
const int kNoDevice = -3; // the device library's "no device" code
const int kInvalidArg = -1;
} // namespace

iDevice::iDevice(const QString& udid)
    : udid(udid)
{
}

iDevice::~iDevice()
{
    // The connection frees its lockdown client before the device.
    device.reset();
}

int iDevice::newDevice()
{
    device.reset();
    if (udid.isEmpty())
        return kNoDevice;
    return DeviceBackend::instance().openDevice(udid, device);
}

int iDevice::lockdowndWithHandshake()
{
    if (!device)
        return kInvalidArg;
    return device->lockdownNew(QString::fromLatin1(kLockdownLabel), true);
}

int iDevice::lockdown()
{
    if (!device)
        return kInvalidArg;
    return device->lockdownNew(QString::fromLatin1(kLockdownLabel), false);
}

bool iDevice::open()
{
    if (newDevice() != 0)
        return false;
    return lockdowndWithHandshake() == 0;
}
