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

// The seam between the device services and the device library. The program's and the probe's
// main() install the production back end (LibDeviceBackend, which calls libimobiledevice); tests
// install an in-process fake. Until one is installed no device is seen. Every result code is the
// library's own error code (0 = success) so the callers' texts read the same with any back end.
class DeviceBackend
{
public:
    virtual ~DeviceBackend();

    // idevice_new_with_options with the USB-only lookup; on success `connection` holds the device.
    virtual int openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection) = 0;

    // idevice_event_subscribe / idevice_event_unsubscribe; the callback runs on the library's thread.
    virtual int subscribe(DeviceEventCallback callback, void* userData) = 0;
    virtual int unsubscribe() = 0;

    static constexpr int kNoDevice = -3; // the library's "no device" code

    // The back end in use.
    static DeviceBackend& instance();
    // Installs a back end (null: none, no device is seen). Call before any device work starts.
    static void setInstance(std::shared_ptr<DeviceBackend> backend);
};
