#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "device/IOSMobileBackupRules.h"
#include "device/iosbackup.h"
#include "device/support/FakeDeviceBackend.h"
#include "device/ui/IOSMobileBackupThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

namespace
{
const QString kUdid = QStringLiteral("0000aaaa1111bbbb2222cccc3333dddd4444eeee");

QByteArray plist(const QString& body)
{
    return (R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)" + body + "</dict></plist>")
        .toUtf8();
}

QByteArray finishedBackupUpload(const QString& version)
{
    return ScriptedBackupPeer::uploadFile("Status.plist", kUdid + "/Status.plist",
               plist("<key>SnapshotState</key><string>finished</string>"))
        + ScriptedBackupPeer::uploadFile("Manifest.plist", kUdid + "/Manifest.plist",
            plist(
                "<key>Lockdown</key><dict><key>ProductVersion</key><string>" + version + "</string></dict>"))
        + ScriptedBackupPeer::uploadFile("Manifest.db", kUdid + "/Manifest.db", "db")
        + ScriptedBackupPeer::uploadFile(
            "HomeDomain-Library/SMS/sms.db", kUdid + "/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28", "sms")
        + ScriptedBackupPeer::endOfList();
}
} // namespace

class TestIOSMobileBackupThread : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QSharedPointer<_IOSDevice> device;
    QString afcRoot;

    QString deviceFolder() const { return iosbackup_temp_dir("sys").absoluteFilePath(kUdid); }

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        afcRoot = TestEnv::tempDir();
        FakeDevice& fake = backend->addDevice(kUdid);
        fake.backupPeer = peer;
        fake.afcRoot = afcRoot;
        QDir().mkpath(afcRoot + "/iTunesRestore");
        QFile marker(afcRoot + "/iTunesRestore/RestoreApplications.plist");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        device->productVersion = "17.1";
        iosbackup_clear_temp("sys");
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void backsUpSelectivelyIntoTheWorkingFolder()
    {
        peer->message(ScriptedBackupPeer::uploadFiles(100, 50), finishedBackupUpload("17.1"))
            .message(ScriptedBackupPeer::processMessage(0));
        ProgressForm form;
        IOSMobileBackupThread thread(true, device, true, "sys", form);
        QCOMPARE(thread.root().absolutePath(), iosbackup_temp_dir("sys").absolutePath());
        thread.start();
        QCOMPARE(form.exec(), 1);
        QVERIFY(thread.wait(10000));
        QVERIFY(!QFileInfo::exists(afcRoot + "/iTunesRestore/RestoreApplications.plist"));
        QVERIFY(QFileInfo::exists(deviceFolder() + "/Manifest.db"));
        QVERIFY(QFileInfo::exists(deviceFolder() + "/dname.sqlite"));
        QVERIFY(
            QFileInfo::exists(deviceFolder() + "/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28")); // keepAll
        QCOMPARE(peer->requests[0].request, QStringLiteral("Backup"));
    }

    void backsUpAFolderScriptedAsAWhole()
    {
        const QString source = TestEnv::tempDir();
        QDir().mkpath(source + "/3d");
        for (const auto& [name, data] :
            std::initializer_list<std::pair<QString, QByteArray>> {
                { "Status.plist", plist("<key>SnapshotState</key><string>finished</string>") },
                { "Manifest.plist",
                    plist("<key>Lockdown</key><dict><key>ProductVersion</key><string>17.1</string></dict>") },
                { "Manifest.db", "db" }, { "3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28", "sms" } }) {
            QFile file(source + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        peer->scriptBackupOf(source, kUdid);
        ProgressForm form;
        IOSMobileBackupThread thread(true, device, true, "sys", form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QVERIFY(QFileInfo::exists(deviceFolder() + "/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
        QVERIFY(IOSMobileBackupRules::keepEarlierBackup(QDir(deviceFolder()), "17.1"));
    }

    void earlierBackupOfAnotherVersionIsDropped()
    {
        QDir().mkpath(deviceFolder());
        QFile stale(deviceFolder() + "/Status.plist");
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(plist("<key>SnapshotState</key><string>finished</string>"));
        stale.close();
        QFile old(deviceFolder() + "/old-file");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        peer->message(ScriptedBackupPeer::processMessage(0));
        ProgressForm form;
        IOSMobileBackupThread thread(false, device, false, "sys", form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QVERIFY(!QFileInfo::exists(deviceFolder() + "/old-file"));
    }

    void failureDeletesTheBackupAndGivesAdvice()
    {
        peer->message(ScriptedBackupPeer::uploadFiles(100), finishedBackupUpload("17.1"))
            .message(ScriptedBackupPeer::processMessage(-4, "Connection to device lost"));
        ModalAnswerer answerer;
        ProgressForm form;
        IOSMobileBackupThread thread(false, device, true, "sys", form);
        thread.start();
        QCOMPARE(form.exec(), 0);
        thread.wait();
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen()[0].contains(
                     "Connection to device lost. Please try the following solutions: <br/><br/>A:"),
            qPrintable(answerer.seen()[0]));
        QVERIFY(answerer.seen()[0].endsWith("Note: You can restart your device to try again."));
        QVERIFY(!QFileInfo::exists(deviceFolder()));
    }

    void cancelBeforeTheRunReachesTheHost()
    {
        peer->timeout(200);
        ProgressForm form;
        IOSMobileBackupThread thread(false, device, true, "sys", form);
        emit form.userCancel(); // the confirmed cancel, before the worker even started
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(peer->log.count("receive timeout"), 0);
        QVERIFY(peer->statuses.isEmpty());
    }
};

QTEST_MAIN(TestIOSMobileBackupThread)
#include "TestIOSMobileBackupThread.moc"
