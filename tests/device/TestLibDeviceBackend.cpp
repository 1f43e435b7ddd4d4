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
        DeviceBackend::setInstance(nullptr);
        QCOMPARE(mobiledevice_info("0000000000000000000000000000000000000000", "", "").typeId(), 16ul);
    }
};

QTEST_GUILESS_MAIN(TestLibDeviceBackend)
#include "TestLibDeviceBackend.moc"
