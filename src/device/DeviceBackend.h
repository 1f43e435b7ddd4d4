#pragma once

#include <QString>
#include <memory>

class DeviceConnection;

// One attach, detach or pair event of the device library, in backend-neutral form.
struct DeviceEvent {
    int type = 0; // 1 added, 2 removed, 3 paired (the library's numbering)
    QString udid; // ASCII UDID
    int connectionType = 0; // 1 usbmuxd (USB), 2 network
};

using DeviceEventCallback = void (*)(const DeviceEvent& event, void* userData);

// The seam between the device services and the device library. The production back end calls
// libimobiledevice; tests install an in-process fake. Every result code is the library's own
// error code (0 = success) so the callers' texts read the same with either back end.
class DeviceBackend
{
public:
    virtual ~DeviceBackend();

    // idevice_new_with_options with the USB-only lookup; on success `connection` holds the device.
    virtual int openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection) = 0;

    // idevice_event_subscribe / idevice_event_unsubscribe; the callback runs on the library's thread.
    virtual int subscribe(DeviceEventCallback callback, void* userData) = 0;
    virtual int unsubscribe() = 0;

    // The back end in use; the production one unless a test installed another.
    static DeviceBackend& instance();
    // Installs a back end (null restores the production one). Call before any device work starts.
    static void setInstance(std::shared_ptr<DeviceBackend> backend);
};
