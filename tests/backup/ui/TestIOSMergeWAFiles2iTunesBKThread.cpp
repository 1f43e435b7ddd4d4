#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/lock/BackupLockFile.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/BackupWaitUi.h"
#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"
#include "backup/ui/support/WorkerWait.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <cerrno>
#include <unistd.h>

namespace
{

// A file system without locks (a network mount without them).
int noLocks(int, int)
{
    errno = ENOLCK;
    return -1;
}

// The lock file a write of this program running as process pid keeps in a folder it cannot lock.
QByteArray lockFileOf(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    const QByteArray fields = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray started = fields.mid(fields.lastIndexOf(')') + 2).split(' ').value(19);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return "qmlock 1\nhost " + QByteArray(host) + "\npid " + QByteArray::number(pid) + "\nstarted " + started
        + "\n";
}

} // namespace

class TestIOSMergeWAFiles2iTunesBKThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesItemsAndReportsErrors()
    {
        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5" });
        const QString src = TestEnv::tempDir() + "/sms.db";
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("merged messages");
        f.close();
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        {
            QList<IOSMergeWAFiles2iTunesBKThread::_Item> items;
            items.append(
                IOSMergeWAFiles2iTunesBKThread::_Item("HomeDomain", src, "Library/SMS/sms.db", true, true));
            ProgressForm form;
            IOSMergeWAFiles2iTunesBKThread t(m, items, form);
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
        }
        const QString out = TestEnv::tempDir() + "/check.db";
        m.copyFile(m.smsNode, out, nullptr, nullptr);
        QFile check(out);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("merged messages"));

        const QString digest = GenBackup::folderDigest(dir);
        ModalAnswerer answerer;
        QList<IOSMergeWAFiles2iTunesBKThread::_Item> bad { { "HomeDomain", src + ".gone", "Library/x.db",
            true, false } };
        ProgressForm form;
        IOSMergeWAFiles2iTunesBKThread t(m, bad, form);
        t.start();
        QCOMPARE(form.exec(), 0);
        t.wait();
        QVERIFY(answerer.waitHandled(1));
        QVERIFY(answerer.seen().value(0).contains(".gone"));
        QCOMPARE(GenBackup::folderDigest(dir), digest);
    }

    // Writing a database whose log records the backup holds empties them; none is added elsewhere.
    void logsOfAWrittenDatabaseAreEmptied()
    {
        const QString log = TestEnv::tempDir() + "/log";
        QFile l(log);
        QVERIFY(l.open(QIODevice::WriteOnly));
        l.write("old log frames");
        l.close();
        const QString dir = GenBackup::make({ "--put", "HomeDomain:Library/SMS/sms.db-wal=" + log, "--put",
            "HomeDomain:Library/SMS/sms.db-shm=" + log });
        const QString src = TestEnv::tempDir() + "/new.db";
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("merged messages");
        f.close();
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        const QList<IOSMergeWAFiles2iTunesBKThread::_Item> items { { "HomeDomain", src, "Library/SMS/sms.db",
                                                                       true, true },
            { "HomeDomain", src, "Library/AddressBook/AddressBook.sqlitedb", true, true } };
        ProgressForm form;
        IOSMergeWAFiles2iTunesBKThread t(m, items, form);
        t.start();
        QCOMPARE(form.exec(), 1);
        t.wait();
        BackupManifest after(dir);
        after.readManifestInfo();
        after.parseInfo();
        for (const char* suffix : { "-wal", "-shm" }) {
            const BackupManifest::_FileNode* n
                = after.findNode("HomeDomain", QString("Library/SMS/sms.db") + suffix);
            QVERIFY(n);
            QCOMPARE(QFileInfo(after.storedFilePath(n->item)).size(), 0);
            QVERIFY(
                !after.findNode("HomeDomain", QString("Library/AddressBook/AddressBook.sqlitedb") + suffix));
        }
    }

    void aWriteWaitingForALockFileSaysWhose_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waited for") << false;
        QTest::newRow("cancelled") << true;
    }

    // On a folder that cannot be locked, a restore while another process of this program holds the
    // lock file waits for it, and its dialog names the process and the file, so that the user can
    // tell one that no longer writes; Cancel ends the wait and writes nothing.
    void aWriteWaitingForALockFileSaysWhose()
    {
        QFETCH(bool, cancel);
        IdsTranslator english;
        installEnglishTexts(english);
        const QString dir = GenBackup::make({});
        const QString src = TestEnv::tempDir() + "/sms.db";
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("merged messages") > 0);
        f.close();
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        QProcess holder;
        holder.start("sleep", { "60" });
        QVERIFY(holder.waitForStarted());
        const qint64 holderPid = holder.processId();
        const QString lock = dir + "/" + BackupLockFile::fileName();
        QFile held(lock);
        QVERIFY(held.open(QIODevice::WriteOnly) && held.write(lockFileOf(holderPid)) > 0);
        held.close();
        const QString digest = GenBackup::folderDigest(dir);
        const BackupFolderLock::LockCall flock = BackupFolderLock::setLockCall(noLocks);
        BackupWaitUi::install();
        const auto restore = qScopeGuard([&] {
            BackupFolderLock::setWaitRunner(nullptr);
            BackupFolderLock::setLockCall(flock);
        });
        ProgressForm form;
        IOSMergeWAFiles2iTunesBKThread t(
            m, { { "HomeDomain", src, "Library/SMS/sms.db", true, true } }, form);
        const WorkerWait w = WorkerWait::run(
            form, t, cancel, [&] { holder.kill(); },
            [&] { GuiTestEnv::screenshot(&form, "backup-lock-file-wait"); });
        QCOMPARE(w.result, cancel ? 0 : 1);
        const QProcess::ProcessState holding = holder.state();
        holder.kill();
        holder.waitForFinished();
        t.wait();
        QVERIFY(w.ended);
        QCOMPARE(w.seen,
            QString(
                "Waiting for process %1 on this computer (%2) to finish writing into the backup %3 (as %4 "
                "says)...")
                .arg(holderPid)
                .arg(QSysInfo::machineHostName(), dir, lock));
        if (!cancel) {
            QVERIFY(!QFileInfo::exists(lock));
            const QString out = TestEnv::tempDir() + "/check.db";
            m.copyFile(m.smsNode, out, nullptr, nullptr);
            QFile check(out);
            QVERIFY(check.open(QIODevice::ReadOnly));
            QCOMPARE(check.readAll(), QByteArray("merged messages"));
            return;
        }
        QCOMPARE(holding, QProcess::Running); // the holder was not waited for
        QCOMPARE(GenBackup::folderDigest(dir), digest);
    }
};

QTEST_MAIN(TestIOSMergeWAFiles2iTunesBKThread)
#include "TestIOSMergeWAFiles2iTunesBKThread.moc"
