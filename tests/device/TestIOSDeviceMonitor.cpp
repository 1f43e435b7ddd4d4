#include "device/IOSDeviceMonitor.h"
#include "device/support/FakeDeviceBackend.h"

#include <QSignalSpy>
#include <QtTest>

namespace
{
// Records the notes; the attach note can run a nested event loop like the real message box does.
class RecordingNotes : public DeviceListNotes
{
public:
    QStringList shown;
    std::function<void()> duringAttachNote;
    void attachNote(const QString& text) override
    {
        shown << "attach";
        if (text != IOSDeviceMonitor::attachNoteText())
            shown << "wrong text";
        if (duringAttachNote) {
            auto action = duringAttachNote;
            duringAttachNote = nullptr;
            action();
        }
    }
    void warning(const QString& text) override { shown << "warning " + text; }
    void error(const QString& text) override { shown << "error " + text; }
};
} // namespace

class TestIOSDeviceMonitor : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<RecordingNotes> notes;
    IOSDeviceMonitor* monitor = nullptr;

    void addPhone(const QString& udid, const QString& name)
    {
        FakeDevice& device = backend->addDevice(udid);
        device.domains[""].put("DeviceName", PlistCFType::createCFString(name));
        device.domains[""].put("ProductType", PlistCFType::createCFString("iPhone14,2"));
        device.domains[""].put("ProductVersion", PlistCFType::createCFString("17.1"));
        device.domains[""].put("MobileSubscriberCountryCode", PlistCFType::createCFString("262"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        backend = FakeDeviceBackend::install();
        notes = std::make_shared<RecordingNotes>();
        IOSDeviceMonitor::setNotes(notes);
        monitor = IOSDeviceMonitor::getInstance();
        QCOMPARE(IOSDeviceMonitor::getInstance(), monitor);
        monitor->start();
        QVERIFY(notes->shown.isEmpty());
    }
    void cleanupTestCase() { FakeDeviceBackend::uninstall(); }

    void attachAndDetachFromTheLibraryThread()
    {
        addPhone("B-UDID", "Beta");
        addPhone("A-UDID", "Alpha");
        QSignalSpy connected(monitor, &IOSDeviceMonitor::deviceConnected);
        backend->attach("B-UDID");
        backend->attach("A-UDID");
        QTRY_COMPARE(connected.size(), 2);
        QCOMPARE(monitor->devices.keys(), (QStringList { "A-UDID", "B-UDID" }));
        const auto alpha = monitor->devices.value("A-UDID");
        QCOMPARE(alpha->deviceName, QStringLiteral("Alpha"));
        QCOMPARE(alpha->productType, QStringLiteral("iPhone14,2"));
        QCOMPARE(alpha->productVersion, QStringLiteral("17.1"));
        QCOMPARE(alpha->mobileSubscriberCountryCode, QStringLiteral("262"));
        QCOMPARE(notes->shown.count("attach"), 2);

        bool presentWhenAnnounced = false;
        auto conn = connect(monitor, &IOSDeviceMonitor::deviceDisconnected, this,
            [&](QString udid) { presentWhenAnnounced = monitor->devices.contains(udid); });
        QSignalSpy disconnected(monitor, &IOSDeviceMonitor::deviceDisconnected);
        backend->detach("A-UDID");
        QTRY_COMPARE(disconnected.size(), 1);
        disconnect(conn);
        QVERIFY(presentWhenAnnounced);
        QVERIFY(!monitor->devices.contains("A-UDID"));
        QVERIFY(alpha); // a holder keeps its record
        backend->detach("B-UDID");
        QTRY_VERIFY(monitor->devices.isEmpty());
    }

    void lockedDeviceIsListedWithEmptyFields()
    {
        addPhone("LOCKED", "Hidden");
        backend->device("LOCKED")->trusted = false;
        QSignalSpy connected(monitor, &IOSDeviceMonitor::deviceConnected);
        backend->attach("LOCKED");
        QTRY_COMPARE(connected.size(), 1);
        QCOMPARE(monitor->devices.value("LOCKED")->deviceName, QString());
        monitor->devices.value("LOCKED")->backupPassword = "pw";
        backend->device("LOCKED")->trusted = true;
        backend->attach("LOCKED"); // attached again: the record is replaced
        QTRY_COMPARE(connected.size(), 2);
        QCOMPARE(monitor->devices.value("LOCKED")->deviceName, QStringLiteral("Hidden"));
        QCOMPARE(monitor->devices.value("LOCKED")->backupPassword, QString());
        backend->detach("LOCKED");
        QTRY_VERIFY(monitor->devices.isEmpty());
    }

    void detachWhileTheAttachNoteIsOpenAddsNothing()
    {
        addPhone("QUICK", "Quick");
        notes->duringAttachNote = [&] {
            backend->detach("QUICK");
            QCoreApplication::processEvents(); // the box's own event loop
        };
        QSignalSpy connected(monitor, &IOSDeviceMonitor::deviceConnected);
        QSignalSpy disconnected(monitor, &IOSDeviceMonitor::deviceDisconnected);
        backend->attach("QUICK");
        QTRY_COMPARE(disconnected.size(), 1);
        QTest::qWait(20);
        QCOMPARE(connected.size(), 0);
        QVERIFY(!monitor->devices.contains("QUICK"));
    }
};

QTEST_GUILESS_MAIN(TestIOSDeviceMonitor)
#include "TestIOSDeviceMonitor.moc"
