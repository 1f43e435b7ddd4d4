#include "device/iDevice.h"
#include "device/mobiledevice.h"
#include "device/mobiledevice_pair.h"
#include "device/support/FakeDeviceBackend.h"

#include <QtTest>

// The device handle with the lockdown values and pairing built on it.
class TestiDevice : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        FakeDevice& device = backend->addDevice("UDID1");
        device.domains[""].put("DeviceName", PlistCFType::createCFString("Kim's iPhone"));
        device.domains[""].put("ProductVersion", PlistCFType::createCFString("16.4"));
        PlistCFType backup = PlistCFType::createCFDictionary();
        backup.put("CloudBackupEnabled", PlistCFType::createCFBoolean(true));
        device.domains.insert("com.apple.mobile.backup", backup);
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void opensWithTheProgramLabel()
    {
        iDevice dev("UDID1");
        QCOMPARE(dev.newDevice(), 0);
        QVERIFY(dev.client == nullptr); // no lockdown client before a lockdown call
        QCOMPARE(dev.lockdowndWithHandshake(), 0);
        QVERIFY(dev.client != nullptr);
        QVERIFY(dev.hasClient());
        QCOMPARE(dev.newDevice(), 0); // a new device drops the old client
        QVERIFY(dev.client == nullptr);
        QVERIFY(dev.open());
        QVERIFY(dev.hasClient());
        QCOMPARE(backend->calls(),
            (QStringList { "open UDID1", "lockdown UDID1 QUILLMARROW handshake", "open UDID1", "open UDID1",
                "lockdown UDID1 QUILLMARROW handshake" }));
        iDevice absent("nobody");
        QCOMPARE(absent.newDevice(), -3);
        QVERIFY(!absent.open());
    }

    void readsLockdownValues()
    {
        const PlistCFType all = mobiledevice_info("UDID1", "", "");
        QVERIFY(all.isCFDictionary());
        QCOMPARE(all.get("DeviceName").CFStringQString(), QStringLiteral("Kim's iPhone"));
        QVERIFY(backend->calls().contains("getValue (null)|(null)"));
        QCOMPARE(mobiledevice_info("UDID1", "", "ProductVersion").CFStringQString(), QStringLiteral("16.4"));
        const PlistCFType domain = mobiledevice_info("UDID1", "com.apple.mobile.backup", "");
        QVERIFY(domain.get("CloudBackupEnabled").CFNumberBool(false));
        QCOMPARE(mobiledevice_info("nobody", "", "").typeId(), 16ul);
        QCOMPARE(mobiledevice_info("UDID1", "", "NoSuchKey").typeId(), 16ul);
        backend->device("UDID1")->trusted = false;
        QCOMPARE(mobiledevice_info("UDID1", "", "").typeId(), 16ul);
    }

    void writesACopyOfTheValue()
    {
        iDevice closed("UDID1");
        const int before = backend->calls().size();
        QVERIFY(!mobiledevice_set(&closed, "d", "k", PlistCFType::createCFBoolean(true)));
        QCOMPARE(backend->calls().size(), before); // no device call without a lockdown client

        PlistCFType value = PlistCFType::createCFDictionary();
        value.put("DisableTethered", PlistCFType::createCFBoolean(false));
        QVERIFY(mobiledevice_set("UDID1", "com.apple.mobile.tethered_sync", "Contacts", value));
        QCOMPARE(value.get("DisableTethered").CFNumberBool(true), false); // still the caller's
        QCOMPARE(backend->device("UDID1")->setValueLog,
            QStringList { "com.apple.mobile.tethered_sync|Contacts|{DisableTethered : 0}" });
        backend->device("UDID1")->setValueResult = -4;
        QVERIFY(!mobiledevice_set("UDID1", "d", "k", value));
        QVERIFY(!mobiledevice_set("nobody", "d", "k", value));
    }

    void pairs()
    {
        mobiledevice_pair trusted("UDID1");
        QVERIFY(trusted.pair());
        QVERIFY(!backend->calls().contains("pair UDID1"));

        backend->device("UDID1")->trusted = false;
        mobiledevice_pair asks("UDID1");
        QVERIFY(asks.pair());
        QVERIFY(backend->calls().contains("pair UDID1"));

        backend->device("UDID1")->trusted = false;
        backend->device("UDID1")->pairResult = -18;
        mobiledevice_pair refused("UDID1");
        QVERIFY(!refused.pair());
        QVERIFY(refused.errorText.startsWith("Please launch iTunes"));
        QVERIFY(refused.errorText.endsWith("<br/><br/>Error detail: "));

        backend->device("UDID1")->plainLockdownError = -5;
        mobiledevice_pair noLockdown("UDID1");
        QVERIFY(!noLockdown.pair());
        QVERIFY(
            noLockdown.errorText.endsWith("Error detail: Could not connect to lockdownd, error code -5\n"));

        mobiledevice_pair absent("nobody");
        QVERIFY(!absent.pair());
        QVERIFY(absent.errorText.endsWith("Error detail: No device found."));
    }

    void switchesCloudBackupThroughTheBackupService()
    {
        auto peer = std::make_shared<ScriptedBackupPeer>();
        peer->message(ScriptedBackupPeer::processMessage(0));
        backend->device("UDID1")->backupPeer = peer;
        enableOrDisableICloudBackup("UDID1", false);
        QCOMPARE(peer->sentMessages.size(), 1);
        QCOMPARE(peer->sentMessages[0].first, QStringLiteral("EnableCloudBackup"));
        QCOMPARE(peer->sentMessages[0].second.toString(), QStringLiteral("{CloudBackupState : 0}"));
        enableOrDisableICloudBackup("nobody", true); // nothing to report
    }
};

QTEST_GUILESS_MAIN(TestiDevice)
#include "TestiDevice.moc"
