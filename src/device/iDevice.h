#pragma once

#include "device/DeviceConnection.h"

#include <QString>
#include <memory>

// The lockdown client label that every client of the device library carries.
inline constexpr const char* kLockdownLabel = "QUILLMARROW";

// One connection to one device by UDID (device handle and lockdown client), made for one operation.
// Fields in order: the UDID, the device and the lockdown client.
class iDevice
{
public:
    explicit iDevice(const QString& udid);
    ~iDevice();
    iDevice(const iDevice&) = delete;
    iDevice& operator=(const iDevice&) = delete;

    // Opens the device, USB only. The device library's error code (0 = success).
    int newDevice();
    // Lockdown client with handshake under the program's label. The lockdown error code.
    int lockdowndWithHandshake();
    // Lockdown client without handshake.
    int lockdown();
    // newDevice, then the handshake; true when both succeeded.
    bool open();

    // The opened device (null until newDevice succeeded).
    DeviceConnection* connection() const { return device.get(); }
    bool hasClient() const { return client && client->hasLockdown(); }

    QString udid;
    // The lockdown client: null until a lockdown call succeeded. The device back end keeps it in
    // the connection object, so this is that connection seen through its lockdown side.
    DeviceConnection* client = nullptr;

private:
    int lockdownNew(bool handshake);

    std::unique_ptr<DeviceConnection> device;
};
