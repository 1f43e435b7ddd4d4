#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

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
};

QTEST_MAIN(TestIOSMergeWAFiles2iTunesBKThread)
#include "TestIOSMergeWAFiles2iTunesBKThread.moc"
