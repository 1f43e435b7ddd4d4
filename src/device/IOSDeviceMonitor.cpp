#include "device/IOSDeviceMonitor.h"

#include "device/mobiledevice.h"

#include <QDebug>
#include <QPointer>
#include <exception>

namespace
{
QPointer<IOSDeviceMonitor> g_pmonitor;

std::shared_ptr<DeviceListNotes>& currentNotes()
{
    static std::shared_ptr<DeviceListNotes> notes = std::make_shared<DeviceListNotes>();
    return notes;
}
} // namespace

DeviceListNotes::~DeviceListNotes() = default;

void DeviceListNotes::attachNote(const QString& text)
{
    qInfo().noquote() << text;
}

void DeviceListNotes::warning(const QString& text)
{
    qWarning().noquote() << text;
}

void DeviceListNotes::error(const QString& text)
{
    qCritical().noquote() << text;
}

IOSDeviceMonitor::IOSDeviceMonitor()
    : QObject(nullptr)
{
}

IOSDeviceMonitor::~IOSDeviceMonitor() = default;

IOSDeviceMonitor* IOSDeviceMonitor::getInstance()
{
    if (!g_pmonitor)
        g_pmonitor = new IOSDeviceMonitor(); // lives until the application ends
    return g_pmonitor;
}

void IOSDeviceMonitor::setNotes(std::shared_ptr<DeviceListNotes> notes)
{
    currentNotes() = notes ? std::move(notes) : std::make_shared<DeviceListNotes>();
}

QString IOSDeviceMonitor::attachNoteText()
{
    return QStringLiteral(
        "<p>Notes:</p><p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please "
        "enter your passcode on iPhone first.</nobr></p><p><b>2.</b> If you have Health and "
        "HomeKik data on your iPhone, please set a password in iTunes to encrypt your iPhone "
        "backups on computer.(<a href=\"%1/tutorial/encrypt-itunes-backups.html\">How "
        "to?</a>)</p>")
        .arg(QStringLiteral(QM_SERVICE_HOST));
}

void IOSDeviceMonitor::start()
{
    connect(&subscriber, &MobiledeviceSubscribe::newDevice, this, &IOSDeviceMonitor::handleDeviceConnected);
    connect(
        &subscriber, &MobiledeviceSubscribe::kickDevice, this, &IOSDeviceMonitor::handleDeviceDisconnected);
    if (!subscriber.start()) {
        currentNotes()->warning(tr(
            "Failed to detect iPhone. Please launch iTunes (Finder if MacOS 10.15 or above) first and then "
            "re-connect your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or above), "
            "please restart Quillmarrow software."));
    }
}

void IOSDeviceMonitor::handleDeviceConnected(QString udid)
{
    // Let the user unlock the device and trust the computer before anything is read.
    std::shared_ptr<DeviceListNotes> notes = currentNotes();
    attaching.insert(udid);
    detachedWhileAttaching.remove(udid);
    notes->attachNote(attachNoteText()); // a nested event loop: other events may be handled meanwhile
    attaching.remove(udid);
    if (detachedWhileAttaching.remove(udid))
        return; // gone before anything was read; adding it would leave a stale, empty record
    try {
        const PlistCFType info = mobiledevice_info(udid, QString(), QString());
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = udid;
        device->deviceName = info.get(QStringLiteral("DeviceName")).CFStringQString();
        device->mobileSubscriberCountryCode
            = info.get(QStringLiteral("MobileSubscriberCountryCode")).CFStringQString();
        device->productVersion = info.get(QStringLiteral("ProductVersion")).CFStringQString();
        device->productType = info.get(QStringLiteral("ProductType")).CFStringQString();
        devices.insert(udid, device);
        emit deviceConnected(udid);
    } catch (const std::exception& e) {
        notes->error(QString::fromUtf8(e.what()));
    }
}

void IOSDeviceMonitor::handleDeviceDisconnected(QString udid)
{
    if (attaching.contains(udid))
        detachedWhileAttaching.insert(udid);
    emit deviceDisconnected(udid);
    devices.remove(udid);
}
