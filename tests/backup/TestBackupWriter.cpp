#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupWriteJournal.h"
#include "backup/BackupWriter.h"
#include "backup/MBFileArchive.h"
#include "backup/support/GenBackup.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestBackupWriter : public QObject
{
    Q_OBJECT

    static QString sourceFile(const QByteArray& content, const QString& name = "source.bin")
    {
        const QString path = TestEnv::tempDir() + "/" + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }

    static void open(BackupManifest& m, const QString& password)
    {
        m.readManifestInfo();
        if (!password.isEmpty())
            QVERIFY(m.setPasscode(password));
        m.parseInfo();
    }

    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The write run in a child process that is killed (SIGKILL) just before the step-th change
    // it makes inside the backup. True when it was killed, false when it finished first.
    static bool writeKilledAt(const QString& dir, const QString& password,
        const QList<BackupManifest::WriteRequest>& items, int step)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            int changes = 0;
            BackupWriteJournal::setBeforeChange([&] {
                if (++changes == step)
                    ::kill(::getpid(), SIGKILL);
            });
            try {
                BackupManifest m(dir);
                m.readManifestInfo();
                if (!password.isEmpty() && !m.setPasscode(password))
                    _exit(3);
                m.parseInfo();
                m.writeFilesThrow(items);
            } catch (const std::exception&) {
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // Every file the write touched is in the backup with the written content, and its record
    // gives that content's size; nothing of the write is left over.
    static void checkWritten(
        const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
    {
        BackupManifest m(dir);
        open(m, password);
        for (const BackupManifest::WriteRequest& r : items) {
            const BackupManifest::_FileNode* node = m.findNode(r.domain, r.relativePath);
            QVERIFY2(node && !node->implied && node->item.isFile(), qPrintable(r.relativePath));
            const QByteArray content = readAll(r.sourceFile);
            QCOMPARE(node->item.size, qint64(content.size()));
            const QString out = TestEnv::tempDir() + "/extracted.bin";
            m.copyFile(node, out, nullptr, nullptr);
            QCOMPARE(readAll(out), content);
        }
        QStringList leftovers;
        for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString name = it.next();
            if (name.endsWith(".qmtmp") || name.endsWith(".qmold") || name.endsWith(".qmwrite"))
                leftovers << name;
        }
        QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(", ")));
    }

    // A message restore's write: a database replaced, an attachment and a file of a new domain added.
    static QList<BackupManifest::WriteRequest> restoreLike()
    {
        return {
            { "HomeDomain", sourceFile(QByteArray(30000, 'S'), "sms.db"), "Library/SMS/sms.db", true, true },
            { "MediaDomain", sourceFile("a picture", "p.jpg"), "Library/SMS/Attachments/ab/01/p.jpg", false,
                true },
            { "BrandNewDomain", sourceFile("more", "more.txt"), "Some/new/file.txt", false, false },
        };
    }

private Q_SLOTS:
    void uncommittedWriteLeavesNoTrace_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::newRow("Manifest.db") << QStringList {} << "";
        QTest::newRow("Manifest.mbdb encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "pw";
    }

    // Files and manifest staged but never committed: the backup is as it was, with no temporaries
    // and no hashed folders left behind.
    void uncommittedWriteLeavesNoTrace()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const QString digest = GenBackup::folderDigest(dir);
        const QStringList folders = QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        BackupManifest m(dir);
        open(m, password);
        {
            BackupWriter writer(m, {}, {});
            writer.stageFilesThrow({ { "HomeDomain", sourceFile("new"), "Library/SMS/sms.db", true, true },
                { "BrandNewDomain", sourceFile("more"), "Some/new/file.txt", true, false } });
            writer.stageManifestThrow();
            QCOMPARE(writer.staged().size(), 2);
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot), folders);
    }

    void killedAtEveryStep_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::newRow("Manifest.db") << QStringList {} << "";
        QTest::newRow("Manifest.db encrypted")
            << QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" } << "pw";
        QTest::newRow("Manifest.mbdb encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "pw";
    }

    // A write killed before any one of the renames, links and removals it makes inside the backup
    // leaves a backup that opens, and the same write run again leaves every file it touched whole.
    void killedAtEveryStep()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        const QString pristine = GenBackup::make(args);
        QVERIFY(!pristine.isEmpty());
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        int step = 1;
        for (;; ++step) {
            const QString dir = TestEnv::copyToTemp(pristine);
            if (!writeKilledAt(dir, password, items, step))
                break;
            const QString manifest
                = QFileInfo::exists(pristine + "/Manifest.mbdb") ? "/Manifest.mbdb" : "/Manifest.db";
            QVERIFY2(QFileInfo::exists(dir + manifest), qPrintable(QString("step %1").arg(step)));
            {
                BackupManifest m(dir);
                open(m, password);
                QVERIFY(m.recordCount() > 0);
                m.writeFilesThrow(items);
            }
            checkWritten(dir, password, items);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("killed before change %1").arg(step)));
        }
        QVERIFY2(step > 8, qPrintable(QString("only %1 changes").arg(step - 1)));
    }

    // A write whose change fails at any step is undone: the backup is as it was, or, once the
    // manifest is in place, as written, with nothing of the write left over.
    void failedAtEveryStep()
    {
        const QString pristine = GenBackup::make({});
        QVERIFY(!pristine.isEmpty());
        const QString digest = GenBackup::folderDigest(pristine);
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        int step = 1;
        for (bool failed = true; failed; ++step) {
            const QString dir = TestEnv::copyToTemp(pristine);
            int changes = 0;
            BackupWriteJournal::setBeforeChange([&] {
                if (++changes == step)
                    throw std::runtime_error("failed");
            });
            try {
                BackupManifest m(dir);
                open(m, QString());
                m.writeFilesThrow(items);
                failed = false;
            } catch (const std::runtime_error&) {
            }
            BackupWriteJournal::setBeforeChange({});
            QVERIFY(BackupWriteJournal::settle(QDir(dir)));
            if (GenBackup::folderDigest(dir) != digest)
                checkWritten(dir, QString(), items);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("failed at change %1").arg(step)));
        }
        QVERIFY(step > 8);
    }

    // A record left by an earlier write touches nothing outside the backup folder.
    void recordStaysInsideTheBackup()
    {
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        const QString outside = QFileInfo(dir).absolutePath() + "/keep.txt";
        QFile keep(outside);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("mine");
        keep.close();
        QFile::copy(outside, outside + ".qmold");
        QFile record(dir + "/Manifest.qmwrite");
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write("manifest 0 Manifest.db\nfile 0 ../keep.txt\nfile 0 /etc/hostname\nfolder ..\n");
        record.close();
        QVERIFY(BackupWriteJournal::settle(QDir(dir)));
        QVERIFY(!QFileInfo::exists(dir + "/Manifest.qmwrite"));
        QCOMPARE(readAll(outside), QByteArray("mine"));
        QCOMPARE(readAll(outside + ".qmold"), QByteArray("mine"));
    }

    // A new file's record: the mobile user's file mode and ids, the file flag, and a folder record
    // for each new parent folder.
    void newRecordsCarryTheDeviceDefaults()
    {
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        {
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow({ { "BrandNewDomain", sourceFile("x"), "Deep/er/file.txt", true, false } });
        }
        Sqlite3DB db;
        db.openReadOnlyThrow(dir + "/Manifest.db", false);
        Sqlite3Cursor c = db.queryThrow("select relativePath, flags, file from Files where "
                                        "domain='BrandNewDomain' order by relativePath");
        QStringList seen;
        while (c.moveNext()) {
            MBFileArchive::Fields f;
            QVERIFY(MBFileArchive::decode(c.getBlob(2), f, false, true));
            const bool file = c.getText(0) == "Deep/er/file.txt";
            QCOMPARE(c.getInt(1), file ? BackupWriter::kRecordFile : BackupWriter::kRecordFolder);
            QCOMPARE(f.mode, qint64(file ? 0100644 : 040755));
            QCOMPARE(f.userId, qint64(501));
            QCOMPARE(f.groupId, qint64(501));
            QCOMPARE(QString::fromUtf8(f.relativePath), c.getText(0));
            seen << c.getText(0);
        }
        QCOMPARE(seen, QStringList({ "Deep", "Deep/er", "Deep/er/file.txt" }));
    }
};

QTEST_GUILESS_MAIN(TestBackupWriter)
#include "TestBackupWriter.moc"
