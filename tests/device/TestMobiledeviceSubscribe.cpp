#include "device/MobiledeviceSubscribe.h"
#include "device/support/FakeDeviceBackend.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

class TestMobiledeviceSubscribe : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;

private Q_SLOTS:
    void init() { backend = FakeDeviceBackend::install(); }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void turnsUsbEventsIntoQueuedSignals()
    {
        MobiledeviceSubscribe subscriber;
        QVERIFY(subscriber.start());
        QThread* emittedOn = nullptr;
        QStringList seen;
        connect(&subscriber, &MobiledeviceSubscribe::newDevice, this, [&](QString udid) {
            emittedOn = QThread::currentThread();
            seen << "add " + udid;
        });
        connect(&subscriber, &MobiledeviceSubscribe::kickDevice, this,
            [&](QString udid) { seen << "remove " + udid; });

        backend->attach("U1");
        QCOMPARE(subscriber.deviceCount, 1);
        QVERIFY(seen.isEmpty()); // queued to this thread, not called on the library's thread
        backend->attach("NET", 2); // network devices never reach the application
        backend->injectEvent(3, "U1"); // paired: ignored
        backend->detach("U1");
        QTRY_COMPARE(seen, (QStringList { "add U1", "remove U1" }));
        QCOMPARE(emittedOn, QThread::currentThread());
        QCOMPARE(subscriber.deviceCount, 0);
    }

    void startFailsWhenTheSubscriptionIsRefused()
    {
        backend->subscribeResult = -2;
        MobiledeviceSubscribe subscriber;
        QVERIFY(!subscriber.start());
        QVERIFY(!backend->subscribed());
    }

    void destructionUnsubscribes()
    {
        {
            MobiledeviceSubscribe subscriber;
            QVERIFY(subscriber.start());
            QVERIFY(backend->subscribed());
        }
        QVERIFY(!backend->subscribed());
    }
};

QTEST_GUILESS_MAIN(TestMobiledeviceSubscribe)
#include "TestMobiledeviceSubscribe.moc"
