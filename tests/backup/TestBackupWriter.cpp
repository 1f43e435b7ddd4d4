#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupWriteJournal.h"
#include "backup/BackupWriter.h"
#include "backup/BkCacheDb.h"
#include "backup/ContentDigest.h"
#include "backup/MBFileArchive.h"
#include "backup/support/GenBackup.h"
#include "messages/support/MsgFixtures.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
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
        const QStringList left = leftovers(dir);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
        QVERIFY(!QFileInfo::exists(dir + "/Manifest.db-wal")); // the old log went with the old manifest
    }

    static QStringList leftovers(const QString& dir)
    {
        QStringList names;
        for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString name = it.next();
            if (name.endsWith(".qmtmp") || name.endsWith(".qmold") || name.endsWith(".qmwrite"))
                names << name;
        }
        return names;
    }

    // The files of items as a reader of the backup gets them, through a cache of copies as the
    // program keeps one; a null array for a file the backup lacks, the error for one it cannot read.
    static QHash<QString, QByteArray> readBack(
        const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
    {
        QHash<QString, QByteArray> out;
        BackupManifest m(dir);
        open(m, password);
        const QDir cacheDir(dir + ".cache");
        cacheDir.mkpath(".");
        BkCacheDb cache(cacheDir.absoluteFilePath("manifest2.db"));
        BackupCacheCopy copier(m, cache);
        for (const BackupManifest::WriteRequest& r : items) {
            const BackupManifest::_FileNode* node = m.findNode(r.domain, r.relativePath);
            if (!node || node->implied || !node->item.isFile())
                continue;
            const QString copy = cacheDir.absoluteFilePath(node->item.backupFileName());
            try {
                copier.copyThrow(node, copy);
                const QByteArray content = readAll(copy);
                out.insert(r.relativePath,
                    content.size() == node->item.size ? content
                                                      : "record of " + QByteArray::number(node->item.size)
                            + " bytes: " + content.left(24).toHex());
            } catch (const std::exception& e) {
                out.insert(r.relativePath, QByteArray("unreadable: ") + e.what());
            }
        }
        return out;
    }

    // Reads the backup as a reader that cannot settle the write (the folder was read-only then)
    // does, filling the cache with what it sees.
    static void readBeforeSettling(
        const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
    {
        const QString record = dir + "/Manifest.qmwrite";
        const bool held = QFile::rename(record, dir + ".record");
        readBack(dir, password, items);
        if (held)
            QFile::rename(dir + ".record", record);
    }

    // A copy of the folder from at to, files and folders only.
    static bool copyTree(const QString& from, const QString& to)
    {
        if (!QDir().mkpath(to))
            return false;
        for (QDirIterator it(
                 from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            const QString copy = to + "/" + QDir(from).relativeFilePath(path);
            if (it.fileInfo().isDir() ? !QDir().mkpath(copy) : !QFile::copy(path, copy))
                return false;
        }
        return true;
    }

    // The record of a write left in dir rewritten as a version that took SHA-256 digests wrote it,
    // each content found among the files of the backup and the manifest of pristine. False when
    // one is not found.
    static bool recordAsBefore(const QString& dir, const QString& pristine)
    {
        QFile record(dir + "/Manifest.qmwrite");
        if (!record.exists())
            return true;
        QStringList files { pristine + "/Manifest.db" };
        // What a target held before may be gone from the folder once the write was finished.
        for (const QString& folder : { dir, pristine })
            for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();)
                files << it.next();
        QByteArray text = record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
        record.close();
        for (const QString& file : std::as_const(files)) {
            const QByteArray bytes = readAll(file);
            ContentDigest fast;
            fast.add(bytes);
            text.replace(fast.sum().text(),
                QByteArray::number(bytes.size()) + ':'
                    + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        }
        return !text.contains(":xxh128:") && record.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && record.write(text) == text.size();
    }

    static QString probePath() { return QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe"; }

    // The whole message restore run again by the probe: the backup's sms.db read, the messages of
    // source merged into it and written back. Every message merged is in the backup afterwards.
    static void restoreMessagesAgain(const QString& dir, const QString& password, const QString& source)
    {
        QProcess p;
        p.start(probePath(), { "restore-messages", source, dir, "--password", password });
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const int merged = QJsonDocument::fromJson(p.readAllStandardOutput()).object()["merged"].toInt();
        QVERIFY(merged > 0);
        BackupManifest m(dir);
        open(m, password);
        const QString out = TestEnv::tempDir() + "/merged.db";
        m.copyFile(m.smsNode, out, nullptr, nullptr);
        const QString src = MsgFixtures::smsPath(source);
        const QString guids = MsgFixtures::querySql(src, "select group_concat(quote(guid)) from message");
        QCOMPARE(MsgFixtures::querySql(out, "select count(*) from message where guid in (" + guids + ")"),
            QString::number(merged));
        QCOMPARE(MsgFixtures::querySql(out, "pragma integrity_check"), QString("ok"));
        const QStringList left = leftovers(dir);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
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

    // Another program writing a plain backup in place (same inodes): the manifest (its change
    // counter) and the stored copy of r. The files and what they hold now.
    static QHash<QString, QByteArray> rewriteInPlace(
        const QString& dir, const BackupManifest::WriteRequest& r)
    {
        const QString stored = MBDBParser::getBKFilePath(
            QDir(dir), MBDBParser::backupFileName(r.domain, r.relativePath), false);
        QFile manifest(dir + "/Manifest.db");
        QFile file(stored);
        if (!manifest.open(QIODevice::ReadWrite) || !manifest.seek(24)
            || manifest.write("\x7f\x7f\x7f\x7f") != 4
            || !file.open(QIODevice::ReadWrite | QIODevice::Truncate) || file.write("written meanwhile") < 0)
            return {};
        manifest.close();
        file.close();
        return { { manifest.fileName(), readAll(manifest.fileName()) }, { stored, readAll(stored) } };
    }

    static QString storedPath(const QString& dir, const BackupManifest::WriteRequest& r)
    {
        return MBDBParser::getBKFilePath(
            QDir(dir), MBDBParser::backupFileName(r.domain, r.relativePath), false);
    }

    // Another program writing a new manifest from the one in place (without the files of a write it
    // does not know of), leaving the record of that write where it was.
    static bool rewriteManifest(const QString& dir, const QString& password)
    {
        const QString record = dir + "/Manifest.qmwrite";
        const bool held = QFile::rename(record, dir + ".record");
        const QString written = TestEnv::tempDir() + "/Manifest.db";
        try {
            BackupManifest m(dir);
            open(m, password);
            m.saveManifestDbAsThrow(true, {}, written, nullptr);
        } catch (const std::exception&) {
            return false;
        }
        const bool ok = QFile::remove(dir + "/Manifest.db") && QFile::copy(written, dir + "/Manifest.db");
        return ok && (!held || QFile::rename(dir + ".record", record));
    }

    // The stored file of r after the write of items, failing for lack of room, and after the same
    // write killed before change step: what another program wrote there, or what this write did.
    static void writeAgainFailedAndKilled(
        const QString& dir, const QList<BackupManifest::WriteRequest>& items, int step)
    {
        const QString stored = storedPath(dir, items[0]);
        const QByteArray meanwhile = readAll(stored);
        try {
            const FailingDisk::SizeLimit full(4096);
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow(items);
            QFAIL("a write past the room left went ahead");
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(readAll(stored), meanwhile);
        writeKilledAt(dir, QString(), items, step);
        readBack(dir, QString(), items);
        const QByteArray now = readAll(stored);
        QVERIFY2(now == meanwhile || now == readAll(items[0].sourceFile), now.left(24).toHex().constData());
    }

    // The folder of r's stored file moved to another disk (or to another folder of the backup) and
    // a link left in its place.
    static bool moveFolderAway(const QString& dir, const BackupManifest::WriteRequest& r, bool inside = false)
    {
        const QString folder = QFileInfo(storedPath(dir, r)).absolutePath();
        const QString to = inside ? dir + "/moved" : TestEnv::tempDir();
        const QString moved = to + "/" + QFileInfo(folder).fileName();
        return QDir().mkpath(to) && QDir().rename(folder, moved) && QFile::link(moved, folder);
    }

    // Each old file kept aside replaced, by a rename, with another program's file; the names.
    static QStringList replaceAsides(const QString& dir)
    {
        QStringList replaced;
        for (const QString& name : leftovers(dir)) {
            QFile theirs(name + ".new");
            if (!name.endsWith(".qmold") || !theirs.open(QIODevice::WriteOnly)
                || theirs.write("another program's") < 0)
                continue;
            theirs.close();
            if (QFile::remove(name) && QFile::rename(theirs.fileName(), name))
                replaced << name;
        }
        return replaced;
    }

    // The renames that put the staged files of items in place lost, as on a disk that did not keep
    // them: where the old file is still kept aside, the staged file is back at its temporary and the
    // old one in place.
    static bool loseRenames(const QString& dir, const QList<BackupManifest::WriteRequest>& items)
    {
        for (const BackupManifest::WriteRequest& r : items) {
            const QString target = storedPath(dir, r);
            const QString aside = BackupWriteJournal::asideOf(target);
            const QString temp = BackupWriteJournal::tempOf(target);
            struct stat a;
            struct stat t;
            if (::lstat(QFile::encodeName(aside).constData(), &a) != 0
                || ::lstat(QFile::encodeName(target).constData(), &t) != 0 || a.st_ino == t.st_ino
                || QFileInfo::exists(temp))
                continue;
            if (!QFile::rename(target, temp)
                || ::link(QFile::encodeName(aside), QFile::encodeName(target)) != 0)
                return false;
        }
        return true;
    }

    // Files of items that read as before the write or as written (or are missing from both).
    static void checkBeforeOrWritten(const QHash<QString, QByteArray>& now,
        const QHash<QString, QByteArray>& before, const QList<BackupManifest::WriteRequest>& items, int step)
    {
        for (const BackupManifest::WriteRequest& r : items) {
            const QByteArray got = now.value(r.relativePath);
            QVERIFY2(got == before.value(r.relativePath) || got == readAll(r.sourceFile),
                qPrintable(QString("%1 after a kill before change %2: %3 bytes, %4")
                               .arg(r.relativePath)
                               .arg(step)
                               .arg(got.size())
                               .arg(QString::fromLatin1(got.left(24).toHex()))));
        }
    }

    // The folder changed after the kill by someone other than the write (see killedAtEveryStep_data).
    static void checkChangedAfterKill(const QString& dir, const QString& password,
        const QList<BackupManifest::WriteRequest>& items, const QHash<QString, QByteArray>& before,
        const QString& after, int step)
    {
        if (after.startsWith("rewritten")) {
            const QHash<QString, QByteArray> written = rewriteInPlace(dir, items[0]);
            QCOMPARE(written.size(), 2);
            readBack(dir, password, items);
            for (auto it = written.cbegin(); it != written.cend(); ++it)
                QVERIFY2(readAll(it.key()) == it.value(),
                    qPrintable(QString("%1 after a kill before change %2").arg(it.key()).arg(step)));
            if (after == "rewritten, written again")
                writeAgainFailedAndKilled(dir, items, step);
            return;
        }
        if (after == "asides deleted") {
            for (const QString& name : leftovers(dir))
                if (name.endsWith(".qmold"))
                    QVERIFY(QFile::remove(name));
            const QHash<QString, QByteArray> now = readBack(dir, password, items);
            for (const BackupManifest::WriteRequest& r : items)
                if (before.contains(r.relativePath))
                    QVERIFY2(
                        QFileInfo::exists(storedPath(dir, r)), qPrintable(r.relativePath + " was removed"));
            checkBeforeOrWritten(now, before, items, step);
            return;
        }
        if (after == "asides replaced") {
            const QStringList replaced = replaceAsides(dir);
            checkBeforeOrWritten(readBack(dir, password, items), before, items, step);
            for (const QString& name : replaced)
                QVERIFY2(readAll(name) == "another program's", qPrintable(name + " was not kept"));
            return;
        }
        if (after == "renames lost")
            QVERIFY(loseRenames(dir, items));
        if (after == "manifest rewritten")
            QVERIFY(rewriteManifest(dir, password));
        if (after == "folder linked" || after == "folder linked inside")
            QVERIFY(moveFolderAway(dir, items[0], after.endsWith("inside")));
        const QHash<QString, QByteArray> now = readBack(dir, password, items);
        if (BackupWriteJournal::pending(QDir(dir))) {
            // Not settled: the opening says so, and nothing is undone half.
            BackupManifest m(dir);
            open(m, password);
            QVERIFY(m.earlierWriteUnsettled());
            return;
        }
        checkBeforeOrWritten(now, before, items, step);
    }

    // Whether the record of the write in dir holds the content of the manifest it staged.
    static bool stagedRecorded(const QString& dir)
    {
        const QList<QByteArray> manifest = readAll(dir + "/Manifest.qmwrite").split('\n').value(1).split(' ');
        return manifest.size() >= 4 && manifest[2] != "-";
    }

    // Where a write into dir stands when it makes a change: "planned" before the old file of target
    // is kept aside, "checked" before its staged file takes its place, "committed" after the manifest
    // took the place of the old.
    static QString momentOf(const QString& dir, const QString& target)
    {
        const bool temp = QFileInfo::exists(BackupWriteJournal::tempOf(target));
        const bool aside = QFileInfo::exists(BackupWriteJournal::asideOf(target));
        if (!stagedRecorded(dir))
            return QString();
        if (!QFileInfo::exists(dir + "/Manifest.db.qmtmp"))
            return "committed";
        return temp ? (aside ? "checked" : "planned") : QString();
    }

    // What another program changes in dir, which the write of items did not plan for; the file.
    static QString changeMeanwhile(
        const QString& dir, const QList<BackupManifest::WriteRequest>& items, const QString& change)
    {
        const QString stored = storedPath(dir, items[0]);
        const QString added = storedPath(dir, items[2]);
        const QString path = change.startsWith("sms.db") ? stored
            : change.startsWith("Manifest.db's log")     ? dir + "/Manifest.db-wal"
            : change.startsWith("Manifest.db")           ? dir + "/Manifest.db"
                                                         : added;
        QFile f(change.endsWith("replaced") ? path + ".theirs" : path);
        const QIODevice::OpenMode mode = change.endsWith("replaced") || change.endsWith("made")
            ? QIODevice::WriteOnly
            : QIODevice::ReadWrite;
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !f.open(mode)
            || !f.seek(change.endsWith("written") ? 24 : 0) || f.write("another program's") < 0)
            return QString();
        f.close();
        if (change.endsWith("replaced")
            && ::rename(QFile::encodeName(f.fileName()).constData(), QFile::encodeName(path).constData())
                != 0)
            return QString();
        return path;
    }

    // The text of a record of a write planted in a backup: of the given version, or with a million
    // lines, each naming stored.
    static QByteArray plantedRecord(const QString& kind, const QString& stored)
    {
        const QByteArray name
            = QFileInfo(stored).dir().dirName().toUtf8() + '/' + QFileInfo(stored).fileName().toUtf8();
        const QByteArray line = "file - none " + name + '\n';
        if (kind.startsWith("version"))
            return kind.toUtf8() + "\nmanifest - - Manifest.db\n" + line;
        return "version 3\nmanifest - - Manifest.db\n" + line.repeated(1000000);
    }

    // The write of items into a plain backup run in a child process, bounded in time: empty when it
    // succeeded, else its error. What it logged goes to *log.
    static QString writeInChild(
        const QString& dir, const QList<BackupManifest::WriteRequest>& items, QString* log)
    {
        static QString logFile;
        logFile = dir + ".log";
        const QString errorFile = dir + ".error";
        const pid_t pid = fork();
        if (pid == 0) {
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                QFile f(logFile);
                if (f.open(QIODevice::Append))
                    f.write(text.toUtf8() + '\n');
            });
            try {
                BackupManifest m(dir);
                open(m, QString());
                m.writeFilesThrow(items);
            } catch (const std::exception& e) {
                QFile f(errorFile);
                if (f.open(QIODevice::WriteOnly))
                    f.write(e.what());
                f.close(); // _exit flushes nothing
                _exit(2);
            }
            _exit(0);
        }
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 300 && (done = waitpid(pid, &status, WNOHANG)) == 0; ++i)
            QThread::msleep(100);
        if (done == 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        *log = QString::fromUtf8(readAll(logFile));
        if (done == 0)
            return "did not end within 30 s";
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString()
                                                             : QString::fromUtf8(readAll(errorFile));
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
        QTest::addColumn<bool>("messages");
        // What happens to the folder after the kill: "copied" to a new one (new inode numbers, as
        // on another disk), "rewritten" in place by another program, or its record read as "sha256"
        // digests.
        QTest::addColumn<QString>("after");
        // Whether the write puts the same bytes back (a merge that finds nothing new).
        QTest::addColumn<bool>("same");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QStringList mbdb { "--layout", "mbdb", "--password", "pw", "--iter", "5" };
        QTest::newRow("Manifest.db") << QStringList {} << "" << false << "" << false;
        QTest::newRow("Manifest.db encrypted") << encrypted << "pw" << false << "" << false;
        QTest::newRow("Manifest.mbdb encrypted") << mbdb << "pw" << false << "" << false;
        // Records only in the log of Manifest.db: never lost, and the old log never read into the new.
        QTest::newRow("Manifest.db with records in its log")
            << QStringList { "--wal-rows", "3" } << "" << false << "" << false;
        // A message restore whose sms.db grows, run again as a whole: read, merge, write.
        QTest::newRow("Manifest.db encrypted, messages restored again")
            << encrypted << "pw" << true << "" << false;
        QTest::newRow("Manifest.db, copied") << QStringList {} << "" << false << "copied" << false;
        QTest::newRow("Manifest.mbdb encrypted, copied") << mbdb << "pw" << false << "copied" << false;
        QTest::newRow("Manifest.db encrypted, copied, messages restored again")
            << encrypted << "pw" << true << "copied" << false;
        QTest::newRow("Manifest.db, rewritten by another program")
            << QStringList {} << "" << false << "rewritten" << false;
        QTest::newRow("Manifest.db, rewritten byte for byte") << QStringList {} << "" << false << "" << true;
        QTest::newRow("Manifest.mbdb, rewritten byte for byte")
            << QStringList { "--layout", "mbdb" } << "" << false << "" << true;
        // The user deletes the old files kept aside: the files stay, never removed.
        QTest::newRow("Manifest.db, old copies deleted")
            << QStringList {} << "" << false << "asides deleted" << false;
        QTest::newRow("Manifest.db encrypted, old copies deleted")
            << encrypted << "pw" << false << "asides deleted" << false;
        QTest::newRow("Manifest.mbdb encrypted, old copies deleted")
            << mbdb << "pw" << false << "asides deleted" << false;
        // Another program's files under the names of the old copies are never put in place, nor removed.
        QTest::newRow("Manifest.db, old copies replaced")
            << QStringList {} << "" << false << "asides replaced" << false;
        QTest::newRow("Manifest.db encrypted, old copies replaced")
            << encrypted << "pw" << false << "asides replaced" << false;
        // A committed manifest over stored files whose renames the disk did not keep.
        QTest::newRow("Manifest.db encrypted, renames lost")
            << encrypted << "pw" << false << "renames lost" << false;
        QTest::newRow("Manifest.db, renames lost")
            << QStringList {} << "" << false << "renames lost" << false;
        // Old copies that stay after another program's write never come back over its files.
        QTest::newRow("Manifest.db, rewritten by another program, written again")
            << QStringList {} << "" << false << "rewritten, written again" << false;
        // The files of a write that was not committed go back: the new manifest does not describe them.
        QTest::newRow("Manifest.db encrypted, new manifest by another program")
            << encrypted << "pw" << false << "manifest rewritten" << false;
        QTest::newRow("Manifest.db, a stored-file folder moved and linked")
            << QStringList {} << "" << false << "folder linked" << false;
        QTest::newRow("Manifest.db, a stored-file folder linked to one inside the backup")
            << QStringList {} << "" << false << "folder linked inside" << false;
        // The record as a version of the program that took SHA-256 digests left it.
        QTest::newRow("Manifest.db, recorded with SHA-256")
            << QStringList {} << "" << false << "sha256" << false;
    }

    // A write killed before any one of the renames, links and removals it makes inside the backup
    // leaves a backup whose touched files read whole, as they were or as written, even through a
    // cache filled before the write was settled, and in a copy of the folder; the same write (or the
    // whole message restore) run again leaves every file it touched whole. Files another program
    // wrote after the kill stay as it wrote them.
    void killedAtEveryStep()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(bool, messages);
        QFETCH(QString, after);
        QFETCH(bool, same);
        QList<BackupManifest::WriteRequest> items = restoreLike();
        QString source;
        if (messages) {
            if (!QFileInfo::exists(probePath()))
                QSKIP("qm-probe is not built beside the tests");
            const QString device = MsgFixtures::generateWith(
                "make_deleted_sms.py", { "--delete-every", "0", "--messages", "30" });
            const QString grown = MsgFixtures::generateWith(
                "make_deleted_sms.py", { "--delete-every", "0", "--messages", "300" });
            source = MsgFixtures::generate("ios6");
            QVERIFY(!device.isEmpty() && !grown.isEmpty() && !source.isEmpty());
            args << "--put"
                 << "HomeDomain:Library/SMS/sms.db=" + MsgFixtures::smsPath(device);
            items[0].sourceFile = MsgFixtures::smsPath(grown);
        }
        const QString pristine = GenBackup::make(args);
        QVERIFY(!pristine.isEmpty());
        if (same)
            items[0].sourceFile = sourceFile(readAll(storedPath(pristine, items[0])), "same.db");
        const int records = QJsonDocument::fromJson(readAll(pristine + "/generator-summary.json"))
                                .object()["records"]
                                .toInt();
        const QHash<QString, QByteArray> before = readBack(TestEnv::copyToTemp(pristine), password, items);
        int step = 1;
        for (;; ++step) {
            QString dir = TestEnv::copyToTemp(pristine);
            if (!writeKilledAt(dir, password, items, step))
                break;
            if (after == "copied")
                dir = TestEnv::copyToTemp(dir);
            if (after == "sha256")
                QVERIFY2(recordAsBefore(dir, pristine), qPrintable(QString("step %1").arg(step)));
            const QString manifest
                = QFileInfo::exists(pristine + "/Manifest.mbdb") ? "/Manifest.mbdb" : "/Manifest.db";
            QVERIFY2(QFileInfo::exists(dir + manifest), qPrintable(QString("step %1").arg(step)));
            if (!after.isEmpty() && after != "copied" && after != "sha256") {
                checkChangedAfterKill(dir, password, items, before, after, step);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(QString("killed before change %1").arg(step)));
                continue;
            }
            readBeforeSettling(dir, password, items);
            checkBeforeOrWritten(readBack(dir, password, items), before, items, step);
            // Opening settled the write: nothing of it is left, not even the beginning of its record.
            const QStringList left = leftovers(dir);
            QVERIFY2(left.isEmpty(), qPrintable(QString("step %1: %2").arg(step).arg(left.join(", "))));
            if (messages)
                restoreMessagesAgain(dir, password, source);
            else {
                {
                    BackupManifest m(dir);
                    open(m, password);
                    QVERIFY2(m.recordCount() >= records, qPrintable(QString::number(m.recordCount())));
                    m.writeFilesThrow(items);
                }
                checkWritten(dir, password, items);
            }
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

    void fullDiskSaysWhy_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("sourceSize");
        // Bytes left on the disk: room for the record and a small file, or for nothing.
        QTest::addColumn<int>("room");
        // What the error must say, DIR standing for the backup folder.
        QTest::addColumn<QString>("failure");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString storedFile = "^Cannot write DIR/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28\\.qmtmp\\. "
                                   "No space left on device$";
        const int room = 24 * 1024;
        QTest::newRow("a stored file") << QStringList {} << "" << 1000000 << room << storedFile;
        QTest::newRow("a stored file, encrypted") << encrypted << "pw" << 1000000 << room << storedFile;
        QTest::newRow("Manifest.db")
            << QStringList {} << "" << 10 << room
            << "^Cannot copy .*/Manifest\\.db to DIR/Manifest\\.db\\.qmtmp\\. No space left on device$";
        QTest::newRow("Manifest.db encrypted")
            << encrypted << "pw" << 10 << room
            << "^Cannot write DIR/Manifest\\.db\\.qmtmp\\. No space left on device$";
        QTest::newRow("Manifest.mbdb")
            << QStringList { "--layout", "mbdb", "--records", "1000", "--no-filler-files" } << "" << 10
            << room << "^Cannot write DIR/Manifest\\.mbdb\\.qmtmp\\. No space left on device$";
        QTest::newRow("the record of the write")
            << QStringList {} << "" << 10 << 0
            << "^Cannot write DIR/Manifest\\.qmwrite\\. No space left on device$";
    }

    void anotherProgramMeanwhile_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        // When another program changes what (see momentOf and changeMeanwhile).
        QTest::addColumn<QString>("moment");
        QTest::addColumn<QString>("change");
        // What the write must fail with (PATH standing for the file changed), empty when it
        // succeeds; and what the log must say.
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("logged");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString changed("Another program changed PATH while this write was under way: nothing was "
                              "written.");
        const QString planned("planned"), checked("checked"), committed("committed"), none;
        const QString reload("^The backup in .* has changed since it was loaded: another program has written "
                             "into it\\. Load the backup again\\.$");
        QTest::newRow("sms.db replaced")
            << QStringList {} << none << planned << QString("sms.db replaced") << changed << none;
        QTest::newRow("sms.db replaced, encrypted")
            << encrypted << QString("pw") << planned << QString("sms.db replaced") << changed << none;
        QTest::newRow("sms.db written in place")
            << QStringList {} << none << planned << QString("sms.db written") << changed << none;
        QTest::newRow("a file made where the write adds one")
            << QStringList {} << none << planned << QString("a file made") << changed << none;
        QTest::newRow("Manifest.db written in place")
            << QStringList {} << none << planned << QString("Manifest.db written") << changed << none;
        // The object's copy of an encrypted manifest is then out of date too.
        QTest::newRow("Manifest.db written in place, encrypted")
            << encrypted << QString("pw") << planned << QString("Manifest.db written") << reload << none;
        QTest::newRow("Manifest.db's log written") << QStringList { "--wal-rows", "3" } << none << planned
                                                   << QString("Manifest.db's log written") << changed << none;
        // Too late to be seen before the commit: the old copy that now holds it stays.
        QTest::newRow("sms.db written in place after it was checked")
            << QStringList {} << none << checked << QString("sms.db written") << none
            << QString("^Kept 3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28\\.qmold: it does not hold what .* "
                       "held before the write\\.$");
        // The object that wrote follows the manifest it put in place, not the one another program put
        // there just after: the next write through it starts from the one in place or not at all.
        QTest::newRow("Manifest.db written just after the commit, encrypted, written again")
            << encrypted << QString("pw") << committed << QString("Manifest.db written") << reload << none;
    }

    // A program that does not hold the folder (as the phone-sync program does not) changes a file
    // the write replaces between its planning and its commit: the write is undone, that program's
    // file stays as it wrote it, and the error names the file. The old copy of a file changed after
    // its check is kept, never removed. A write through an object whose manifest another program
    // replaced writes nothing.
    void anotherProgramMeanwhile()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(QString, moment);
        QFETCH(QString, change);
        QFETCH(QString, failure);
        QFETCH(QString, logged);
        const QString pristine = GenBackup::make(args);
        QVERIFY(!pristine.isEmpty());
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        const QString dir = TestEnv::copyToTemp(pristine);
        const QString expected = TestEnv::copyToTemp(pristine);
        QVERIFY(!changeMeanwhile(expected, items, change).isEmpty());
        QString path;
        BackupWriteJournal::setBeforeChange([&] {
            if (path.isEmpty() && momentOf(dir, storedPath(dir, items[0])) == moment)
                path = changeMeanwhile(dir, items, change);
        });
        if (!logged.isEmpty())
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression(logged));
        const bool again = moment == "committed";
        QString error;
        QString digest;
        try {
            BackupManifest m(dir);
            open(m, password);
            m.writeFilesThrow(items);
            digest = GenBackup::folderDigest(dir);
            if (again)
                m.writeFilesThrow(items);
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        BackupWriteJournal::setBeforeChange({});
        QVERIFY2(!path.isEmpty(), "the other program changed nothing");
        if (failure.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            checkBeforeOrWritten(readBack(dir, password, items),
                readBack(TestEnv::copyToTemp(pristine), password, items), items, 0);
            QCOMPARE(readAll(BackupWriteJournal::asideOf(path)).mid(24, 17), QByteArray("another program's"));
            return;
        }
        QVERIFY2(QRegularExpression(QString(failure).replace("PATH", QRegularExpression::escape(path)))
                     .match(error)
                     .hasMatch(),
            qPrintable(error));
        QVERIFY(!BackupWriteJournal::pending(QDir(dir)));
        QCOMPARE(GenBackup::folderDigest(dir), again ? digest : GenBackup::folderDigest(expected));
    }

    // A write that runs out of room on the backup's disk, in a file or in the manifest, says so in
    // the system's words and leaves the backup as it was, with nothing half-written.
    void fullDiskSaysWhy()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(int, sourceSize);
        QFETCH(int, room);
        QFETCH(QString, failure);
        FailingDisk::SmallDisk disk(4 * 1024 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString generated = GenBackup::make(args);
        QVERIFY(!generated.isEmpty());
        const QString dir = disk.path() + "/backup";
        QVERIFY(copyTree(generated, dir));
        const QString digest = GenBackup::folderDigest(dir);
        const QString source = sourceFile(QByteArray(sourceSize, 'S'), "sms.db");
        disk.fill(room);
        // Nothing half-written stays, and nothing is removed that is not there (a name-less file).
        QTest::failOnWarning(QRegularExpression("QFile::remove"));
        try {
            BackupManifest m(dir);
            open(m, password);
            m.writeFilesThrow({ { "HomeDomain", source, "Library/SMS/sms.db", true, true } });
            QFAIL("a write went through on a full disk");
        } catch (const std::runtime_error& e) {
            const QRegularExpression expected(
                QString(failure).replace("DIR", QRegularExpression::escape(dir)));
            QVERIFY2(expected.match(QString::fromUtf8(e.what())).hasMatch(), e.what());
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
        const QStringList left = leftovers(dir);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }

    // A name of the commit that cannot be changed (another program put a file where the old one is
    // to be kept) fails with the system's reason; the backup and that file stay as they were.
    void commitSaysWhy()
    {
        const QString dir = TestEnv::copyToTemp(GenBackup::make({}));
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        const QString target = storedPath(dir, items[0]);
        const QString digest = GenBackup::folderDigest(dir);
        const QString planted = BackupWriteJournal::asideOf(target);
        BackupWriteJournal::setBeforeChange([&] {
            QFile f(planted);
            if (!f.exists() && f.open(QIODevice::WriteOnly))
                f.write("another program's");
        });
        try {
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow(items);
            BackupWriteJournal::setBeforeChange({});
            QFAIL("the write went through");
        } catch (const std::runtime_error& e) {
            BackupWriteJournal::setBeforeChange({});
            QCOMPARE(QString::fromUtf8(e.what()), QString("can not overwrite %1. File exists").arg(target));
        }
        QCOMPARE(readAll(planted), QByteArray("another program's"));
        QFile::remove(planted);
        QCOMPARE(GenBackup::folderDigest(dir), digest);
    }

    void recordStaysInsideTheBackup_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("logged");
        QTest::newRow("names outside the backup")
            << "lnk"
            << QByteArray("manifest 0 Manifest.db\nfile 0 ../keep.txt\nfile 0 /etc/hostname\nfolder ..\n"
                          "file 0 lnk/victim.txt\nfolder lnk/emptydir\nfolder lnk\n")
            << "";
        // Undoing L would put its old file, a link out, in place before the names under L.
        const QByteArray underL = "file 0 L/victim.txt\nfile 0 L/gone.txt\nfile INODE L/keep.txt\nfile 0 L\n"
                                  "folder L/emptydir\n";
        QTest::newRow("an old file kept aside is a link out")
            << "L.qmold"
            << "manifest 0 Manifest.db\n" + underL << "^Left L\\.qmold alone: .* not a regular file";
        QTest::newRow("an old file kept aside is a link out, the manifest under it")
            << "L.qmold"
            << "manifest 0 L/Manifest.db\n" + underL << "^Left L\\.qmold alone: .* not a regular file";
    }

    // A record left by an earlier write touches nothing outside the backup folder, not even through
    // a link inside it, nor one its own undo would put in place, when the backup is opened.
    void recordStaysInsideTheBackup()
    {
        QFETCH(QString, link);
        QFETCH(QByteArray, record);
        QFETCH(QString, logged);
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        const QString outside = QFileInfo(dir).absolutePath() + "/keep.txt";
        QFile keep(outside);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("mine");
        keep.close();
        QFile::copy(outside, outside + ".qmold");
        const QString linked = TestEnv::tempDir();
        const QStringList names { "victim.txt", "victim.txt.qmold", "victim.txt.qmtmp", "keep.txt",
            "gone.txt.qmold", "Manifest.db.qmtmp" };
        for (const QString& name : names)
            QVERIFY(QFile::copy(outside, linked + "/" + name));
        QVERIFY(QDir(linked).mkdir("emptydir"));
        QVERIFY(QFile::link(linked, dir + "/" + link));
        QFile planted(dir + "/Manifest.qmwrite");
        QVERIFY(planted.open(QIODevice::WriteOnly));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(linked + "/keep.txt").constData(), &st), 0);
        planted.write(record.replace("INODE", QByteArray::number(quint64(st.st_ino))));
        planted.close();
        if (!logged.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(logged));
        BackupManifest m(dir);
        open(m, QString());
        QVERIFY(!m.earlierWriteUnsettled());
        QVERIFY(!QFileInfo::exists(dir + "/Manifest.qmwrite"));
        QCOMPARE(readAll(outside), QByteArray("mine"));
        QCOMPARE(readAll(outside + ".qmold"), QByteArray("mine"));
        QStringList all = names + QStringList { "emptydir" };
        all.sort();
        QCOMPARE(QDir(linked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), all);
        for (const QString& name : names)
            QCOMPARE(readAll(linked + "/" + name), QByteArray("mine"));
        QVERIFY(QFileInfo(dir + "/" + link).isSymLink());
    }

    void plantedNamesAreNotFollowed_data()
    {
        // What stands where: "link" to a file outside the backup, "fifo", or "file" with other bytes;
        // at the name of the stored file's temporary or old copy, or the stored file's folder.
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("logged");
        const QString link("link"), temp(".qmtmp"), old(".qmold"), none;
        const QString moved("Moved .*\\.qmold, left by an earlier write into the backup, to .*\\.qmold-1\\.");
        QTest::newRow("a link out at the temporary") << link << temp << none << none;
        QTest::newRow("a FIFO at the temporary") << QString("fifo") << temp << none << none;
        QTest::newRow("a link out at the old copy's name") << link << old << none << moved;
        QTest::newRow("an old copy another write left") << QString("file") << old << none << moved;
        QTest::newRow("a stored-file folder that is a link")
            << link << QString("folder")
            << QString("^Cannot write into the backup in .*: .* is a link or a file, not a folder\\.$")
            << none;
        // A link is no record of a write: it is not read through, and nothing is written.
        QTest::newRow("a link out at the record")
            << link << QString("record") << QString("^Cannot finish or undo the earlier write into .*\\.$")
            << QString("Cannot read .*/Manifest\\.qmwrite\\. Not a regular file");
        // A record this build cannot read as a write of this backup is left as it is, unread.
        QTest::newRow("a record of a version this build does not know")
            << QString("version 9") << QString("record")
            << QString("^Cannot finish or undo the earlier write into .*\\.$")
            << QString("Left .*/Manifest\\.qmwrite as it is: it is the record of a write of version \"9\", "
                       "which this build does not know\\.");
        QTest::newRow("a record of a million lines")
            << QString("a million lines") << QString("record")
            << QString("^Cannot finish or undo the earlier write into .*\\.$")
            << QString("Left .*/Manifest\\.qmwrite as it is: at more than \\d+ bytes it is larger than the "
                       "record of any write into that backup, and is not read\\.");
    }

    // Names planted in the backup where a write makes its own files are never written through or
    // opened (nor a record read that no write of this build makes), and no wait is without end; an
    // old copy another write left stays, and the log says where. A stored-file folder that is a link
    // is refused before anything changes.
    void plantedNamesAreNotFollowed()
    {
        QFETCH(QString, planted);
        QFETCH(QString, at);
        QFETCH(QString, error);
        QFETCH(QString, logged);
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        const QString stored = storedPath(dir, items[0]);
        const QString outside = sourceFile("mine", "keep.txt");
        const QHash<QString, QByteArray> before = readBack(dir, QString(), items);
        const QString name = at == "record" ? dir + "/Manifest.qmwrite" : stored + at;
        if (at == "folder")
            QVERIFY(moveFolderAway(dir, items[0]));
        else if (planted == "link")
            QVERIFY(QFile::link(outside, name));
        else if (planted == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0644), 0);
        else if (at == "record") {
            QFile record(name);
            QVERIFY(record.open(QIODevice::NewOnly));
            record.write(plantedRecord(planted, stored));
        } else {
            QFile old(name);
            QVERIFY(old.open(QIODevice::NewOnly));
            old.write("another write's");
        }
        QString log;
        const QString failure = writeInChild(dir, items, &log);
        QCOMPARE(readAll(outside), QByteArray("mine"));
        QVERIFY2(QRegularExpression(logged).match(log).hasMatch(), qPrintable(log));
        if (!error.isEmpty()) {
            QVERIFY2(QRegularExpression(error).match(failure).hasMatch(), qPrintable(failure));
            QCOMPARE(BackupWriteJournal::pending(QDir(dir)), at == "record");
            QCOMPARE(readBack(dir, QString(), items), before);
            return;
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        checkWritten(dir, QString(), items);
        QVERIFY(!QFileInfo(stored).isSymLink());
        if (at == ".qmold") {
            QCOMPARE(QFileInfo(name + "-1").isSymLink(), planted == "link");
            if (planted == "file")
                QCOMPARE(readAll(name + "-1"), QByteArray("another write's"));
        }
    }

    // An earlier write that cannot be settled (its record cannot be read, here as it is a folder):
    // the backup still opens, and a new write refuses before it changes anything.
    void unsettledWriteStillOpens()
    {
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        QVERIFY(QDir(dir).mkpath("Manifest.qmwrite/inside"));
        const QString digest = GenBackup::folderDigest(dir);
        BackupManifest m(dir);
        open(m, QString());
        QVERIFY(m.recordCount() > 0);
        QVERIFY(m.earlierWriteUnsettled());
        try {
            m.writeFilesThrow({ { "BrandNewDomain", sourceFile("x"), "file.txt", true, false } });
            QFAIL("a write into a backup with an unsettled write went ahead");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                QString("Cannot finish or undo the earlier write into %1.").arg(QDir(dir).absolutePath()));
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
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
