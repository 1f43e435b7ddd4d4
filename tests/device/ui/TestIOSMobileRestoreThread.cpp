#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "device/support/FakeDeviceBackend.h"
#include "device/ui/IOSMobileRestoreThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

namespace
{
const QString kUdid = QStringLiteral("0000aaaa1111bbbb2222cccc3333dddd4444ffff");

void put(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}
} // namespace

class TestIOSMobileRestoreThread : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QSharedPointer<_IOSDevice> device;
    QString root;

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        backend->addDevice(kUdid).backupPeer = peer;
        device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        root = TestEnv::tempDir();
        put(root + "/" + kUdid + "/Manifest.db", "full");
        put(root + "/" + kUdid + "/Manifest-sys.db", "reduced");
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void restoresWithTheReducedManifest()
    {
        peer->message(ScriptedBackupPeer::downloadFiles({ kUdid + "/Manifest.db" }))
            .message(ScriptedBackupPeer::processMessage(0));
        ProgressForm form;
        IOSMobileRestoreThread thread(true, device, QDir(root), true, form);
        thread.manifestDbName = "Manifest-sys.db";
        thread.setBackupPasscode("pw");
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(peer->requests[0].options.toString(),
            QStringLiteral("{RestoreSystemFiles : 1, RestorePreserveSettings : 1, RestoreDontCopyBackup : 1, "
                           "RemoveItemsNotRestored : 0, Password : pw}"));
        const auto files = ScriptedBackupPeer::parseDownload(peer->sentRaw);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0].data, QByteArray("reduced"));
    }

    void fullOptionsWithoutSparseFlag()
    {
        peer->message(ScriptedBackupPeer::processMessage(0));
        ProgressForm form;
        IOSMobileRestoreThread thread(false, device, QDir(root), false, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(peer->requests[0].options.toString(),
            QStringLiteral("{RestoreSystemFiles : 1, RestorePreserveSettings : 1, RestoreShouldReboot : 1, "
                           "RestoreDontCopyBackup : 1, RemoveItemsNotRestored : 0}"));
    }

    void failureNamingError205DropsTheBackup()
    {
        peer->message(ScriptedBackupPeer::processMessage(205, "MBErrorDomain/205 stale"));
        ModalAnswerer answerer;
        ProgressForm form;
        IOSMobileRestoreThread thread(false, device, QDir(root), true, form);
        thread.start();
        QCOMPARE(form.exec(), 0);
        thread.wait();
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen()[0].endsWith(QStringLiteral(
            "error code:205. <br/><br/>MBErrorDomain/205 stale<br/><br/>Note: You can restart your "
            "device to try again.")));
        QVERIFY(!QFileInfo::exists(root + "/" + kUdid));
    }

    void otherFailuresKeepTheBackup()
    {
        peer->message(ScriptedBackupPeer::processMessage(3, "something else"));
        ModalAnswerer answerer;
        ProgressForm form;
        IOSMobileRestoreThread thread(true, device, QDir(root), true, form);
        thread.start();
        QCOMPARE(form.exec(), 0);
        thread.wait();
        QVERIFY(answerer.seen().value(0).contains("<br/><br/>Tip: You can follow this "));
        QVERIFY(QFileInfo::exists(root + "/" + kUdid + "/Manifest.db"));
    }
};

QTEST_MAIN(TestIOSMobileRestoreThread)
#include "TestIOSMobileRestoreThread.moc"
