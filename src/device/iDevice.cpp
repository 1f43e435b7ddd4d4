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
    client = nullptr;
    device.reset();
}

int iDevice::newDevice()
{
    client = nullptr;
    device.reset();
    if (udid.isEmpty())
        return kNoDevice;
    return DeviceBackend::instance().openDevice(udid, device);
}

int iDevice::lockdowndWithHandshake()
{
    return lockdownNew(true);
}

int iDevice::lockdown()
{
    return lockdownNew(false);
}

int iDevice::lockdownNew(bool handshake)
{
    if (!device)
        return kInvalidArg;
    const int code = device->lockdownNew(QString::fromLatin1(kLockdownLabel), handshake);
    if (code == 0)
        client = device.get();
    return code;
}

bool iDevice::open()
{
    if (newDevice() != 0)
        return false;
    return lockdowndWithHandshake() == 0;
}
