#include "device/mobiledevice_pair.h"

#include "device/iDevice.h"

mobiledevice_pair::mobiledevice_pair(const QString& udid)
    : udid(udid)
{
}

bool mobiledevice_pair::pair()
{
    iDevice dev(udid);
    if (dev.newDevice() != 0) {
        errorText = QStringLiteral("No device found.");
    } else if (dev.lockdowndWithHandshake() == 0) {
        return true; // already trusted
    } else {
        int err = dev.lockdown();
        if (err != 0) {
            errorText = QString::asprintf("Could not connect to lockdownd, error code %d\n", err);
        } else if (dev.connection()->pair() == 0) {
            return true;
        }
    }
    errorText = QStringLiteral("%1<br/><br/>Error detail: %2")
                    .arg(tr("Please launch iTunes (Finder if MacOS 10.15 or above) first and then re-connect "
                            "your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or "
                            "above), please restart Quillmarrow software."),
                        errorText);
    return false;
}
