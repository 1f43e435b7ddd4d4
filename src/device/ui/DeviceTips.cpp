#include "device/ui/DeviceTips.h"

#include "app/ui/shared/Tips.h"
#include "device/IOSDeviceMonitor.h"

namespace
{
class TipsNotes : public DeviceListNotes
{
public:
    void attachNote(const QString& text) override { Tips::info(text); }
    void warning(const QString& text) override { Tips::warning(text); }
    void error(const QString& text) override { Tips::error(text); }
};
} // namespace

void installDeviceTips()
{
    IOSDeviceMonitor::setNotes(std::make_shared<TipsNotes>());
}
