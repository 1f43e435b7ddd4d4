#pragma once

#include "device/DeviceBackend.h"

// The production device back end: thin calls into libimobiledevice 1.3.0. This back end's source is
// the only code of the program that includes the library's headers.
class LibDeviceBackend : public DeviceBackend
{
public:
    int openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection) override;
    int subscribe(DeviceEventCallback callback, void* userData) override;
    int unsubscribe() override;
};
