#include "device/DeviceBackend.h"

#include "device/DeviceConnection.h"

namespace
{

// What runs until main() installs the real back end: no device is ever seen or opened. Keeps the
// device services free of the library (tests and tools that never install one stay quiet).
class NoDeviceBackend : public DeviceBackend
{
public:
    int openDevice(const QString&, std::unique_ptr<DeviceConnection>& connection) override
    {
        connection.reset();
        return kNoDevice;
    }
    int subscribe(DeviceEventCallback, void*) override { return 0; }
    int unsubscribe() override { return 0; }
};

// Set once at start-up (or by a test before device work starts), then only read.
std::shared_ptr<DeviceBackend>& current()
{
    static std::shared_ptr<DeviceBackend> backend = std::make_shared<NoDeviceBackend>();
    return backend;
}

} // namespace

DeviceBackend::~DeviceBackend() = default;

DeviceBackend& DeviceBackend::instance()
{
    return *current();
}

void DeviceBackend::setInstance(std::shared_ptr<DeviceBackend> backend)
{
    current() = backend ? std::move(backend) : std::make_shared<NoDeviceBackend>();
}
