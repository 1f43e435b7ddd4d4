#include "device/DeviceConnection.h"
#include "device/LibDeviceBackend.h"
#include "device/mobiledevice.h"

#include <QtTest>

// The production back end against the real device library, with no phone attached.
class TestLibDeviceBackend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsNoDeviceWithoutAPhone()
    {
        LibDeviceBackend backend;
        std::unique_ptr<DeviceConnection> connection;
        QVERIFY(backend.openDevice("0000000000000000000000000000000000000000", connection) != 0);
        QVERIFY(!connection);
        DeviceBackend::setInstance(std::make_shared<LibDeviceBackend>());
        QCOMPARE(mobiledevice_info("0000000000000000000000000000000000000000", "", "").typeId(), 16ul);
        DeviceBackend::setInstance(nullptr);
    }

    // Until main() installs the library's back end, no device is seen and nothing is loaded.
    void withoutABackEndNoDeviceIsSeen()
    {
        DeviceBackend::setInstance(nullptr);
        DeviceBackend& none = DeviceBackend::instance();
        QVERIFY(!dynamic_cast<LibDeviceBackend*>(&none));
        std::unique_ptr<DeviceConnection> connection;
        QCOMPARE(none.openDevice("0000000000000000000000000000000000000000", connection),
            DeviceBackend::kNoDevice);
        QVERIFY(!connection);
        QCOMPARE(none.subscribe(nullptr, nullptr), 0);
        QCOMPARE(none.unsubscribe(), 0);
        QCOMPARE(mobiledevice_info("0000000000000000000000000000000000000000", "", "").typeId(), 16ul);
    }
};

QTEST_GUILESS_MAIN(TestLibDeviceBackend)
#include "TestLibDeviceBackend.moc"
