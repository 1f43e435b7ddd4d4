#include "device/DeviceBackend.h"

#include "device/LibDeviceBackend.h"

namespace
{
// Set once at start-up (or by a test before device work starts), then only read.
std::shared_ptr<DeviceBackend>& current()
{
    static std::shared_ptr<DeviceBackend> backend;
    return backend;
}
} // namespace

DeviceBackend::~DeviceBackend() = default;

DeviceBackend& DeviceBackend::instance()
{
    auto& backend = current();
    if (!backend)
        backend = std::make_shared<LibDeviceBackend>();
    return *backend;
}

void DeviceBackend::setInstance(std::shared_ptr<DeviceBackend> backend)
{
    current() = std::move(backend);
}
