#include "app/IdsTranslator.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/ModalAnswerer.h"
#include "app/ui/support/PressOk.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "device/IOSDeviceMonitor.h"
#include "device/iosbackup.h"
#include "device/support/FakeDeviceBackend.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgData.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/SMSRestoreRoads.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QtTest>
#include <optional>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

namespace
{
const QString kUdid = QStringLiteral("00008030aaaabbbbccccddddeeeeffff00001111");
} // namespace

class TestSMSRestoreRoads : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QSharedPointer<_IOSDevice> device;

    void attach(const QString& productType, bool cloudBackup)
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        FakeDevice& fake = backend->addDevice(kUdid);
        fake.backupPeer = peer;
        fake.afcRoot = TestEnv::tempDir();
        fake.domains["com.apple.mobile.backup"]
            = PlistCFType::createCFDictionary({ PlistCFType::createCFString("CloudBackupEnabled") },
                { PlistCFType::createCFBoolean(cloudBackup) });
        device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        device->deviceName = "Test iPhone";
        device->productType = productType;
        device->productVersion = "17.1";
        IOSDeviceMonitor::getInstance()->devices.clear();
        IOSDeviceMonitor::getInstance()->devices.insert(kUdid, device);
        iosbackup_clear_temp("sys");
    }

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_english); }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    // The last word is the success, or an error naming the attachment the restore wrote as it is
    // although its copy is not what the phone wrote. The device backup is read on a worker under a
    // dialog saying so: held as by a disk that stopped answering, the window answers meanwhile (a
    // timer fires every 20 ms).
    void restoresThroughADeviceBackup_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("held");
        QTest::newRow("whole") << false << false;
        QTest::newRow("an attachment not as written") << true << false;
        QTest::newRow("whole, its read held") << false << true;
    }
    void restoresThroughADeviceBackup()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, held);
        attach("iPhone14,2", false);
        const QString deviceDb
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "20" });
        const QString phone = GenBackup::make(
            { "--udid", kUdid, "--put", "HomeDomain:Library/SMS/sms.db=" + smsPath(deviceDb) }, "phone");
        peer->scriptBackupOf(phone, kUdid).scriptRestoreRequesting({ kUdid + "/Manifest.db" }, 0, QString());
        MsgData data;
        IOS6MessageDb(QDir(generate("ios6")), _CountryInfo(), false).messages(data, 0);
        _MsgAttachment cut = cutAttachment("cd07", "IMG_0007.JPG", 900001);
        QVERIFY(!cut._path.isEmpty());
        if (damaged)
            data.messages().last()->_attachments.insert(cut.guid, &cut);

        const QString work = iosbackup_temp_dir("sys").absoluteFilePath(kUdid);
        std::optional<HeldManifestReads> reads;
        if (held) {
            reads.emplace(QStringList { work });
            reads->releaseAfterWatching(1000);
        }
        ModalAnswerer answerer;
        answerer.answerWith(pressOk<DataSourceSelForm>());
        answerer.answer(QMessageBox::Ok); // the note before the backup
        answerer.answer(QMessageBox::Ok); // the success
        QWidget page;
        SMSRestoreRoads::restoreSMS(&page, data.messages());
        data.messages().last()->_attachments.remove(cut.guid);
        if (held) {
            QVERIFY2(reads->longestGap() >= 0 && reads->longestGap() < 200,
                qPrintable(QString::number(reads->longestGap())));
            QCOMPARE(reads->dialogStatus(), QString("Reading the backup %1 now. Please wait...").arg(work));
        }
        QCOMPARE(answerer.seen().size(), 2);
        QVERIFY(answerer.seen().at(0).contains("must be disabled"));
        const QString last = damaged
            ? QString(
                "1 of the attachments is not what the phone wrote:<br/>IMG_0007.JPG: The stored copy "
                "/bk/cd07 is not the file the phone wrote: it ends without its padding.<br/>%1 Messages "
                "were restored to the device, with those attachments as they are. Now please disconnect "
                "your iPhone from computer.")
                  .arg(data.messages().size())
            : QString("Successfully recovered %1 messages").arg(data.messages().size());
        QVERIFY2(damaged ? answerer.seen().at(1).contains(last) : answerer.seen().at(1).startsWith(last),
            qPrintable(answerer.seen().at(1)));
        // The device received the reduced manifest, and the working backup holds the merged messages.
        QCOMPARE(peer->requests.size(), 2);
        QVERIFY(QFileInfo::exists(work + "/Manifest-sys.db"));
        BackupManifest back(work);
        back.readManifestInfo();
        back.parseInfo();
        const QString out = TestEnv::tempDir() + "/restored.db";
        back.copyFile(back.smsNode, out, nullptr, nullptr);
        QCOMPARE(querySql(out, "select count(*) from message").toInt(), 20 + int(data.messages().size()));
        const auto sent = ScriptedBackupPeer::parseDownload(peer->sentRaw);
        QCOMPARE(sent.size(), 1);
    }

    void refusesWithCloudBackupOn()
    {
        attach("iPhone14,2", true);
        ModalAnswerer answerer;
        answerer.answerWith(pressOk<DataSourceSelForm>());
        answerer.answer(QMessageBox::Ok);
        QWidget page;
        SMSRestoreRoads::restoreSMS(&page, {});
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().at(0).contains("turn off iCloud backup"));
        QVERIFY(peer->requests.isEmpty());
    }

    void asksBeforeRestoringToATablet()
    {
        attach("iPad13,1", false);
        ModalAnswerer answerer;
        answerer.answerWith(pressOk<DataSourceSelForm>());
        answerer.answer(QMessageBox::No);
        QWidget page;
        SMSRestoreRoads::restoreSMS(&page, {});
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().at(0).contains("only to an iPad/iPod"));
        QVERIFY(peer->requests.isEmpty());
    }
};

QTEST_MAIN(TestSMSRestoreRoads)
#include "TestSMSRestoreRoads.moc"
