#include "ProbeCommand.h"
#include "device/MobiledeviceSubscribe.h"
#include "device/mobiledevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace
{

// Lists the devices attached over USB (the device library announces those already attached when
// a subscription starts), or shows the lockdown identity of one device.
int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() > 1) {
        err << "usage: qm-probe device [UDID]\n";
        return 2;
    }
    if (args.isEmpty()) {
        MobiledeviceSubscribe subscriber;
        QSet<QString> udids;
        QObject::connect(
            &subscriber, &MobiledeviceSubscribe::newDevice, [&](QString udid) { udids.insert(udid); });
        QObject::connect(
            &subscriber, &MobiledeviceSubscribe::kickDevice, [&](QString udid) { udids.remove(udid); });
        if (!subscriber.start()) {
            err << "device events are not available (is usbmuxd running?)\n";
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        QStringList sorted(udids.begin(), udids.end());
        sorted.sort();
        for (const QString& udid : sorted)
            out << udid << "\n";
        return 0;
    }
    const PlistCFType info = mobiledevice_info(args[0], QString(), QString());
    if (!info.isCFDictionary()) {
        err << "no answer from " << args[0] << " (not attached, locked or not trusting this computer)\n";
        return 1;
    }
    QJsonObject o;
    o["udid"] = args[0];
    for (const char* key : { "DeviceName", "ProductType", "ProductVersion", "MobileSubscriberCountryCode" })
        o[key] = info.get(QString::fromLatin1(key)).CFStringQString();
    const PlistCFType backup
        = mobiledevice_info(args[0], QStringLiteral("com.apple.mobile.backup"), QString());
    o["CloudBackupEnabled"] = backup.get(QStringLiteral("CloudBackupEnabled")).CFNumberBool(false);
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command(
    "device", "[UDID]   (USB devices attached, or one device's lockdown identity)", run);

} // namespace
