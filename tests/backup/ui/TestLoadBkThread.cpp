#include "app/IdsTranslator.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/MBDBParser.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/BackupWaitUi.h"
#include "backup/ui/LoadBkThread.h"
#include "backup/ui/support/WorkerWait.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <sqlite3.h>

class TestLoadBkThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesDecryptedAndSkipsUnchanged()
    {
        const QString dir
            = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5", "--skip-storedata" });
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        QVERIFY(!m.callHistoryStoreNode && m.callHistoryNode);
        const QDir cache(TestEnv::tempDir() + "/cache/abc");
        QList<const BackupManifest::_FileNode*> files { m.addressBookNode, nullptr, m.callHistoryNode };
        {
            ProgressForm form;
            LoadBkThread t(&m, files, cache, &form);
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
            QCOMPARE(t.cacheDir.absolutePath(), cache.absolutePath());
        }
        const QString ab = cache.absoluteFilePath(m.addressBookNode->item.backupFileName());
        QFile f(ab);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(15), QByteArray("SQLite format 3"));
        f.close();
        QVERIFY(QFileInfo::exists(cache.absoluteFilePath("manifest2.db")));
        // A second run leaves an unchanged file alone.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write("marker");
        f.close();
        {
            ProgressForm form;
            LoadBkThread t(&m, files, cache, &form);
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().endsWith("marker"));
    }

    // A backup of notes.sqlite with the stored-copy damage given ("append": not whole blocks),
    // opened; "none" for a whole one; "unreadable" for one whose reads fail; "while read" for a
    // whole one another program writes into while a load reads it.
    static QString damagedBackup(const QString& damage)
    {
        QStringList args { "--password", "pw", "--iter", "5", "--dpic", "5" };
        if (damage != "append" && damage != "none" && damage != "while read")
            args << "--stored-damage"
                 << "Library/Notes/notes.sqlite=" + damage;
        const QString dir = GenBackup::make(args);
        if (damage == "append") {
            BackupManifest m(dir);
            m.readManifestInfo();
            if (!m.setPasscode("pw"))
                return QString();
            m.parseInfo();
            QFile stored(m.storedFilePath(m.notesNode->item));
            if (stored.open(QIODevice::Append))
                stored.write("xyz");
        }
        return dir;
    }
    // Runs a load of notes and bookmarks into cache; its result, and the text of its box if any.
    static int load(const QString& dir, const QDir& cache, bool showWhatItCan, QString* shown)
    {
        BackupManifest m(dir);
        m.readManifestInfo();
        if (!m.setPasscode("pw"))
            return -1;
        m.parseInfo();
        ModalAnswerer answerer;
        ProgressForm form;
        LoadBkThread t(&m, { m.notesNode, m.bookmarksNode }, cache, &form);
        t.setShowWhatItCan(showWhatItCan);
        t.start();
        const int result = form.exec();
        t.wait();
        if (answerer.waitHandled(1, result == 1 ? 300 : 10000))
            *shown = answerer.seen().value(0);
        return result;
    }
    static bool notesMarked(const QDir& cache)
    {
        const QString notes = MBDBParser::backupFileName("HomeDomain", "Library/Notes/notes.sqlite");
        return BkCacheDb::notAsWrittenIn(cache).contains(cache.absoluteFilePath(notes));
    }

    void reportsCopyErrors_data()
    {
        QTest::addColumn<QString>("damage");
        // A load of a backup into the same cache before: "-" none, "same" this very backup, else
        // another backup's notes.sqlite with that damage.
        QTest::addColumn<QString>("earlier");
        QTest::addColumn<bool>("showWhatItCan");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        // The stored file no longer decrypts in whole blocks.
        QTest::newRow("not whole blocks")
            << "append"
            << "-" << false << 0 << "Copy notes.sqlite error. BackupManifest::decryptFile: decrypt failed.";
        // Cut short at a block boundary: never copied as a success. A page that shows what it can
        // goes on with what there is and says it.
        QTest::newRow("cut short") << "cut-half"
                                   << "-" << false << 0 << "Copy notes.sqlite error. The stored copy ";
        QTest::newRow("cut short, shown") << "cut-half"
                                          << "-" << true << 1 << "Copy notes.sqlite error. The stored copy ";
        QTest::newRow("under another key, shown")
            << "other-key"
            << "-" << true << 1 << "Copy notes.sqlite error. The stored copy ";
        // The copy of the first load is reused, and still known for what it is.
        QTest::newRow("cut short, shown, loaded again")
            << "cut-half"
            << "same" << true << 1 << "Copy notes.sqlite error. The stored copy ";
        QTest::newRow("cut short, loaded again")
            << "cut-half"
            << "same" << false << 0 << "Copy notes.sqlite error. The stored copy ";
        // Nothing decrypted: a copy of another stored file left by an earlier load goes too.
        QTest::newRow("not whole blocks over an earlier whole copy")
            << "append"
            << "none" << true << 1 << "Copy notes.sqlite error. BackupManifest::decryptFile: decrypt failed.";
        // A stored copy whose every read fails (a disk's read error): named with its record and the
        // system's reason, and left out; a page that shows what it can goes on without it, and a
        // copy an earlier load left there no longer stands for it.
        QTest::newRow("unreadable") << "unreadable"
                                    << "-" << false << 0 << "Copy notes.sqlite error. Cannot read ";
        QTest::newRow("unreadable, shown") << "unreadable"
                                           << "-" << true << 1 << "Copy notes.sqlite error. Cannot read ";
        QTest::newRow("unreadable over an earlier whole copy, shown")
            << "unreadable"
            << "none" << true << 1 << "Copy notes.sqlite error. Cannot read ";
        // Its key in the record does not unwrap (a byte of the encrypted manifest damaged): the same.
        QTest::newRow("key damaged, shown") << "manifest-byte"
                                            << "-" << true << 1 << "Copy notes.sqlite error. Cannot decrypt ";
        // Written into while read: the copy is not kept, and the load is to be made again.
        QTest::newRow("rewritten while read")
            << "while read"
            << "-" << false << 0
            << "changed while it was read: another program is writing into the backup. Load it again.";
        // Fetched whole again, the copy is the phone's file again.
        QTest::newRow("whole after a copy cut short") << "none"
                                                      << "cut-half" << false << 1 << "";
    }
    void reportsCopyErrors()
    {
        QFETCH(QString, damage);
        QFETCH(QString, earlier);
        QFETCH(bool, showWhatItCan);
        QFETCH(int, result);
        QFETCH(QString, text);
        const QString dir = damagedBackup(damage);
        const QDir cache(TestEnv::tempDir() + "/cache-" + QTest::currentDataTag());
        QString shown;
        if (earlier != "-") {
            QCOMPARE(load(earlier == "same" ? dir : damagedBackup(earlier), cache, true, &shown), 1);
            QCOMPARE(notesMarked(cache), earlier != "none");
            shown.clear();
        }
        if (damage == "while read")
            BackupCacheCopy::setWhileReading([](const QString& path) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::Append) && f.write("x") == 1);
            });
        const int got = load(dir, cache, showWhatItCan, &shown);
        BackupCacheCopy::setWhileReading(nullptr);
        QCOMPARE(got, result);
        QVERIFY2(text.isEmpty() ? shown.isEmpty() : shown.contains(text), qPrintable(shown));
        const bool unreadable = damage == "unreadable" || damage == "manifest-byte";
        if (unreadable)
            QVERIFY2(shown.contains(damage == "unreadable" ? "Input/output error" : "fails its check")
                    && shown.contains("Record: HomeDomain Library/Notes/notes.sqlite"),
                qPrintable(shown));
        else if (damage != "append" && damage != "none" && damage != "while read")
            QVERIFY2(shown.contains("ends without its padding"), qPrintable(shown));
        // What a damaged copy decrypts to is written and marked as such, and kept where the run goes
        // on; shown, the other files are copied all the same. The text names no copy that is gone.
        QCOMPARE(QFileInfo::exists(cache.absoluteFilePath(
                     MBDBParser::backupFileName("HomeDomain", "Library/Notes/notes.sqlite"))),
            damage != "append" && !unreadable && damage != "while read" && result == 1);
        QCOMPARE(TestEnv::copyNamedButGone(shown), QString());
        QCOMPARE(notesMarked(cache), damage != "none" && damage != "while read");
        QCOMPARE(QFileInfo::exists(cache.absoluteFilePath(
                     MBDBParser::backupFileName("HomeDomain", "Library/Safari/Bookmarks.db"))),
            showWhatItCan || damage == "none" || earlier != "-");
    }

    // A damaged copy whose mark cannot be recorded (the cache's database cannot be written) does
    // not stay behind unmarked to pass for the phone's file: it goes, and the load says why.
    void anUnrecordedDamagedCopyGoes()
    {
        const QString dir = damagedBackup("cut-half");
        const QDir cache(TestEnv::tempDir() + "/cache-unrecorded");
        QVERIFY(cache.mkpath("."));
        BkCacheDb(cache.absoluteFilePath("manifest2.db")).openThrow();
        {
            // The mark's row fails as a write onto a full disk would.
            Sqlite3DB db;
            db.openThrow(cache.absoluteFilePath("manifest2.db"), SQLITE_OPEN_READWRITE);
            db.executeThrow("create trigger full before insert on file_not_as_written "
                            "begin select raise(abort, 'database or disk is full'); end");
        }
        QString shown;
        QCOMPARE(load(dir, cache, true, &shown), 0);
        QVERIFY2(shown.contains("Copy notes.sqlite error. Cannot use "
                     + cache.absoluteFilePath("manifest2.db") + ": No space left on device"),
            qPrintable(shown));
        QVERIFY(!QFileInfo::exists(
            cache.absoluteFilePath(MBDBParser::backupFileName("HomeDomain", "Library/Notes/notes.sqlite"))));
        QVERIFY(!notesMarked(cache));
    }

    void aCopyWaitingForAWriteSaysSo_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waited for") << false;
        QTest::newRow("cancelled") << true;
    }

    // A copy while another program writes into the backup waits for the write, and its progress
    // dialog says what it waits for while it waits; Cancel ends the wait, and the worker with it.
    void aCopyWaitingForAWriteSaysSo()
    {
        QFETCH(bool, cancel);
        IdsTranslator english;
        installEnglishTexts(english);
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        QProcess writer; // holds the folder as a write does, until its input closes
        writer.start("python3",
            { "-c",
                "import fcntl, os, sys\nfd = os.open(sys.argv[1], os.O_RDONLY)\n"
                "fcntl.flock(fd, fcntl.LOCK_EX)\nprint('held', flush=True)\nsys.stdin.read()",
                dir });
        QVERIFY(writer.waitForReadyRead(10000));
        BackupWaitUi::install();
        ProgressForm form;
        LoadBkThread t(&m, { m.addressBookNode }, QDir(TestEnv::tempDir()), &form);
        const WorkerWait w = WorkerWait::run(
            form, t, cancel, [&] { writer.closeWriteChannel(); },
            [&] { GuiTestEnv::screenshot(&form, "worker-backup-wait"); }, 10000);
        QCOMPARE(w.result, cancel ? 0 : 1);
        const QProcess::ProcessState writing = writer.state();
        writer.closeWriteChannel();
        t.wait();
        QVERIFY(w.ended);
        if (cancel)
            QCOMPARE(writing, QProcess::Running); // the write elsewhere was not waited for
        BackupFolderLock::setWaitRunner(nullptr);
        if (!cancel)
            QCOMPARE(form.statusText(), QString("Loading iTunes Backup now. Please wait..."));
        QCOMPARE(w.seen,
            QString("Waiting for another window or program to finish writing into the backup %1...")
                .arg(QDir::toNativeSeparators(dir)));
        QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(10000));
    }
};

QTEST_MAIN(TestLoadBkThread)
#include "TestLoadBkThread.moc"
