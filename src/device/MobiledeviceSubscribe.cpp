#include "device/MobiledeviceSubscribe.h"

#include "device/DeviceBackend.h"

namespace
{
const int kUsbmuxd = 1;
const int kDeviceAdded = 1;
const int kDeviceRemoved = 2;
} // namespace

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject* parent)
    : QObject(parent)
{
}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    DeviceBackend::instance().unsubscribe();
}

bool MobiledeviceSubscribe::start()
{
    deviceCount = 0;
    return DeviceBackend::instance().subscribe(&MobiledeviceSubscribe::subscribe, this) == 0;
}

void MobiledeviceSubscribe::stop()
{
    DeviceBackend::instance().unsubscribe();
}

void MobiledeviceSubscribe::invokeNewDevice(const QString& udid)
{
    ++deviceCount;
    emit newDevice(udid);
}

void MobiledeviceSubscribe::invokeKickDevice(const QString& udid)
{
    --deviceCount;
    emit kickDevice(udid);
}

void MobiledeviceSubscribe::subscribe(const DeviceEvent& event, void* userData)
{
    auto* self = static_cast<MobiledeviceSubscribe*>(userData);
    // Network-connected devices never reach the application.
    if (!self || event.connectionType != kUsbmuxd)
        return;
    if (event.type == kDeviceAdded)
        self->invokeNewDevice(event.udid);
    else if (event.type == kDeviceRemoved)
        self->invokeKickDevice(event.udid);
}
