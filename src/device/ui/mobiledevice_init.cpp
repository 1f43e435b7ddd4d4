#include "device/ui/mobiledevice_init.h"

#include "app/ui/shared/Tips.h"
#include "device/mobiledevice_loader.h"

int mobiledevice_init()
{
    QString message;
    const int result = mobiledevice_loader_ini(message, QString(), QStringList());
    if (result <= 0) {
        Tips::warning(message);
        return 0;
    }
    return result;
}
