#include "app/IdsTranslator.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/support/GenBackup.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "calls_calendars/ui/CallsDeviceRestore.h"
#include "device/_IOSDevice.h"
#include "device/iosbackup.h"
#include "device/support/FakeDeviceBackend.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <optional>

using namespace CallsFixtures;

namespace
{

const QString kUdid = QStringLiteral("0000aaaa1111bbbb2222cccc3333dddd4444eeee");

_CallHistory newCall(qint64 secs, const QString& address)
{
    _CallHistory c;
    c.date = QDateTime::fromSecsSinceEpoch(secs);
    c.address = address;
    c.flags = CallFlagOutgoing;
    c.duration = 5;
    return c;
}

} // namespace

class TestCallsDeviceRestore : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QSharedPointer<_IOSDevice> device;

private slots:
    void initTestCase() { installEnglishTexts(m_english); }

    void init()
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        FakeDevice& fake = backend->addDevice(kUdid);
        fake.backupPeer = peer;
        fake.afcRoot = TestEnv::tempDir();
        device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        device->productVersion = "17.1";
        iosbackup_clear_temp("sys");
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void restoresThroughABackupOfTheDevice_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("held");
        QTest::newRow("plain") << QString() << false;
        QTest::newRow("encrypted") << QString("1234") << false;
        QTest::newRow("encrypted, its read held") << QString("1234") << true;
    }
    // The device backup's Manifest.plist, its unlock with the remembered password and its records
    // are read on a worker under a dialog saying so: held as by a disk that stopped answering, the
    // window answers meanwhile (a timer fires every 20 ms).
    void restoresThroughABackupOfTheDevice()
    {
        QFETCH(QString, password);
        QFETCH(bool, held);
        const QString store = makeCallDb({ "--calls", "3" });
        QStringList args { "--content", "Library/CallHistoryDB/CallHistory.storedata=" + store, "--udid",
            kUdid };
        if (!password.isEmpty())
            args << "--password" << password << "--iter"
                 << "10"
                 << "--dpic"
                 << "10";
        const QString source = GenBackup::make(args);
        QVERIFY(!source.isEmpty());
        const QString callPath = kUdid + "/5a/" + IOSCallHistoryDb::kStoreFile;
        peer->scriptBackupOf(source, kUdid).scriptRestoreRequesting({ kUdid + "/Manifest.db", callPath });
        device->backupPassword = password; // remembered from an earlier restore: no password dialog

        const QDir working = iosbackup_temp_dir("sys");
        std::optional<HeldManifestReads> reads;
        if (held) {
            reads.emplace(QStringList { working.absoluteFilePath(kUdid) });
            reads->releaseAfterWatching(1000);
        }
        ModalAnswerer answerer;
        QWidget page;
        QVERIFY(CallsDeviceRestore(&page).runOnDevice(device, { newCall(1600000000, "+4930111") }));
        if (held) {
            QVERIFY2(reads->longestGap() >= 0 && reads->longestGap() < 200,
                qPrintable(QString::number(reads->longestGap())));
            QCOMPARE(reads->dialogStatus(),
                QString("Reading the backup %1 now. Please wait...").arg(working.absoluteFilePath(kUdid)));
        }
        QCOMPARE(answerer.seen().size(), 2); // the Find My iPhone note, then the success
        QVERIFY(answerer.seen()[0].contains("Find My iPhone"));
        QCOMPARE(answerer.seen()[1],
            QString("Successfully restored 1 call history to iPhone. Now please disconnect your iPhone from "
                    "computer."));
        QCOMPARE(peer->requests.size(), 2);
        QCOMPARE(peer->requests[1].request, QString("Restore"));
        QVERIFY(peer->requests[1].options.get("RemoveItemsNotRestored").isCFBoolean());
        QCOMPARE(peer->requests[1].options.get("Password").CFStringQString(), password);

        // The device was sent the reduced manifest and a call store holding the new call.
        const auto files = ScriptedBackupPeer::parseDownload(peer->sentRaw);
        QCOMPARE(files.size(), 2);
        QFile reduced(working.absoluteFilePath(kUdid + "/Manifest-sys.db"));
        QVERIFY(reduced.open(QIODevice::ReadOnly));
        QCOMPARE(files[0].data, reduced.readAll());
        QFile stored(working.absoluteFilePath(callPath));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(files[1].data, stored.readAll());
        if (password.isEmpty()) {
            const QString count = runPython({ "-c",
                "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute("
                "'select count(*) from ZCALLRECORD').fetchone()[0])",
                working.absoluteFilePath(callPath) });
            QCOMPARE(count.trimmed(), QString("4"));
        }
    }

    void iCloudBackupStopsTheRoad()
    {
        PlistCFType backupDomain = PlistCFType::createCFDictionary();
        backupDomain.put("CloudBackupEnabled", PlistCFType::createCFBoolean(true));
        backend->device(kUdid)->domains["com.apple.mobile.backup"] = backupDomain;
        ModalAnswerer answerer;
        QWidget page;
        QVERIFY(!CallsDeviceRestore(&page).runOnDevice(device, { newCall(1600000000, "1") }));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen()[0].startsWith(
            "Failed to transfer data to device. Please turn off iCloud backup"));
        QCOMPARE(peer->requests.size(), 0);
    }

    void backupWithoutCallDatabase()
    {
        const QString source = GenBackup::make({ "--no-well-known", "--udid", kUdid });
        peer->scriptBackupOf(source, kUdid);
        ModalAnswerer answerer;
        QWidget page;
        QVERIFY(!CallsDeviceRestore(&page).runOnDevice(device, { newCall(1600000000, "1") }));
        QVERIFY(answerer.seen().value(1).contains(
            "This data is only available when backup encryption is enabled."));
        QCOMPARE(peer->requests.size(), 1); // no restore
    }
};

QTEST_MAIN(TestCallsDeviceRestore)
#include "TestCallsDeviceRestore.moc"
