#include "app/sqlite/Sqlite3DB.h"
#include "backup/MBFileArchive.h"
#include "backup/support/BackupReads.h"
#include "backup/support/BackupWrites.h"
#include "backup/support/GenBackup.h"
#include "backup/write/BackupWriteFolder.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteRecord.h"
#include "backup/write/BackupWriteSettlement.h"
#include "backup/write/BackupWriter.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using BackupReads::readAll;
using namespace BackupWrites;

// The writer (BackupWriter, BackupManifest::writeFilesThrow): what it stages, what it leaves on a
// full disk or when another program writes meanwhile, the names it never follows, and the records
// it makes. (The settling of a write that was stopped: TestBackupWriteSettlement.)
class TestBackupWriter : public QObject
{
    Q_OBJECT

    // Whether every sync of the writer fails, as a dying disk's does.
    static inline bool syncsFail = false;

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

    // The permissions each file the writer made had at the moment it was made, by name.
    static inline QHash<QString, int> made;
    static int createNoting(int dir, const char* name, int flags, mode_t mode)
    {
        const int fd = ::openat(dir, name, flags, mode);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0)
            made.insert(QString::fromUtf8(name), int(st.st_mode & 07777));
        return fd;
    }

    // Whether the record of the write in dir holds the content of the manifest it staged.
    static bool stagedRecorded(const QString& dir)
    {
        const QByteArray record = readAll(dir + "/Manifest.qmwrite");
        const QList<QByteArray> manifest = record.mid(record.indexOf("\nmanifest ") + 1).split(' ');
        return manifest.size() >= 4 && manifest[2] != "-";
    }

    // Where a write into dir stands when it makes a change: "read" before the write begins, after the
    // road read the file it replaces (and merged into it), "planning" before its record is written,
    // "planned" before the old file of target is kept aside, "checked" before its staged file takes
    // its place, "committing" before the manifest's, "committed" after the manifest took the place
    // of the old.
    static QString momentOf(const QString& dir, const QString& target)
    {
        const bool temp = QFileInfo::exists(tempOf(target));
        const bool aside = QFileInfo::exists(BackupWriteNames::asideOf(target));
        if (!QFileInfo::exists(dir + "/Manifest.qmwrite"))
            return "planning";
        if (!stagedRecorded(dir))
            return QString();
        if (!QFileInfo::exists(tempOf(dir + "/Manifest.db")))
            return "committed";
        if (temp)
            return aside ? "checked" : "planned";
        const bool logAside = !QFileInfo::exists(dir + "/Manifest.db-wal");
        return logAside && leftovers(dir).filter(".qmtmp").size() == 1 ? "committing" : QString();
    }

    // The journal named by the one change makes (outside any backup, the same for each copy).
    // Beside the manifest, where SQLite makes it.
    static QString namedJournal(const QString& dir, const QString& change)
    {
        return dir + (change.endsWith("there") ? "/Manifest.db-mjthere" : "/Manifest.db-mjgone");
    }

    // What another program changes in dir, which the write of items did not plan for; the file. A
    // journal of a change to several databases names that change's own beside the manifest of
    // written (dir unless given), so that the journals of both folders are the same bytes.
    static QString changeMeanwhile(const QString& dir, const QList<BackupManifest::WriteRequest>& items,
        const QString& change, const QString& written = QString())
    {
        const QString stored = storedPath(dir, items[0]);
        const QString added = storedPath(dir, items[2]);
        if (change == "Manifest.db written through a log") { // a new one: the old went aside
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", SQLITE_OPEN_READWRITE);
            db.executeThrow(Sqlite3Sql("insert into Files values('theirs', 'OtherDomain', 'x', 1, x'00')"));
            return dir + "/Manifest.db";
        }
        if (change == "Manifest.db locked") // by a read transaction of another program's
            return lockedByAChild(dir + "/Manifest.db", F_RDLCK, 0x40000002) ? dir + "/Manifest.db"
                                                                             : QString();
        // As a program in TRUNCATE or PERSIST mode leaves its journal (the latter zeroes its header),
        // or one with the magic number that opens a journal's header, its transaction unfinished.
        if (change.startsWith("Manifest.db's journal left") || change.endsWith("live header")) {
            QFile journal(dir + "/Manifest.db-journal");
            const QByteArray header = change.contains("empty") ? QByteArray()
                : change.endsWith("live header")               ? QByteArray::fromHex("d9d505f920a163d7")
                                                               : QByteArray(28, '\0');
            if (!journal.open(QIODevice::WriteOnly)
                || journal.write(header + (header.isEmpty() ? "" : "another program's")) < 0)
                return QString();
            journal.close();
            // Another user's, in a backup folder everyone may write into.
            if (change.endsWith("by another user")
                && (::chmod(QFile::encodeName(dir).constData(), 01777) != 0
                    || ::lchown(QFile::encodeName(journal.fileName()).constData(), 65534, gid_t(-1)) != 0))
                return QString();
            // Another program's write transaction (its reserved lock) under way meanwhile.
            if (change.endsWith("locked for a write")
                && !lockedByAChild(dir + "/Manifest.db", F_WRLCK, 0x40000001))
                return QString();
            return journal.fileName();
        }
        // The journal of a change to several databases names that change's own (namedJournal).
        if (change.startsWith("Manifest.db's journal made naming")) {
            const QByteArray magic = QByteArray::fromHex("d9d505f920a163d7");
            const QString at = namedJournal(written.isEmpty() ? dir : written, change);
            const QByteArray super = QFile::encodeName(at);
            QFile named(at), journal(dir + "/Manifest.db-journal");
            if (change.endsWith("there")
                && (!named.open(QIODevice::WriteOnly) || named.write("child-journal") < 0))
                return QString();
            quint32 sum = 0;
            for (const char c : super)
                sum += quint32(c);
            QByteArray bytes = magic + "another program's";
            QDataStream trailer(&bytes, QIODevice::Append);
            trailer << quint32(262145);
            trailer.writeRawData(super.constData(), int(super.size()));
            trailer << quint32(super.size()) << sum;
            return journal.open(QIODevice::WriteOnly) && journal.write(bytes + magic) > 0 ? journal.fileName()
                                                                                          : QString();
        }
        // What SQLite does not play back (a first byte zero, a link to an empty file or to nothing), or
        // what keeps it from opening the manifest at all.
        if (change.startsWith("Manifest.db's journal a") || change.endsWith("first byte zero")) {
            const QString journal = dir + "/Manifest.db-journal";
            const QString target = dir + "-journal-target";
            QFile f(change.endsWith("empty file") ? target : journal);
            bool made = false;
            if (change.endsWith("FIFO"))
                made = ::mkfifo(QFile::encodeName(journal), 0600) == 0;
            else if (change.endsWith("folder"))
                made = QDir().mkdir(journal);
            else if (change.endsWith("zero"))
                made = f.open(QIODevice::WriteOnly) && f.write(QByteArray(1, '\0') + "another program's") > 0;
            else
                made = (!change.endsWith("empty file") || f.open(QIODevice::WriteOnly))
                    && QFile::link(target, journal);
            return made ? journal : QString();
        }
        // The folder moved away (to DIR.away), a link to it, another folder or nothing left in its place.
        if (change.startsWith("sms.db's folder swapped for")) {
            const QString folder = QFileInfo(stored).absolutePath();
            const QString away = dir + ".away";
            const bool swapped = QDir().rename(folder, away)
                && (change.endsWith("nothing")
                    || (change.endsWith("a link") ? QFile::link(away, folder) : QDir().mkdir(folder)));
            return swapped ? folder : QString();
        }
        if (change.startsWith("the record and sms.db's temporary removed")) // as another write settles it
            return QFile::remove(tempOf(stored)) && QFile::remove(dir + "/Manifest.qmwrite")
                ? dir + "/Manifest.qmwrite"
                : QString();
        const QString path = change.startsWith("sms.db's temporary") ? tempOf(stored)
            : change.startsWith("sms.db")                            ? stored
            : change.startsWith("Manifest.db's log")                 ? dir + "/Manifest.db-wal"
            : change.startsWith("Manifest.db's journal")             ? dir + "/Manifest.db-journal"
            : change.startsWith("Manifest.db")                       ? dir + "/Manifest.db"
                                                                     : added;
        if (change.endsWith("removed"))
            return QFile::remove(path) ? path : QString();
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

    // A child process that holds a lock of SQLite's of type on the byte at of path until it is killed
    // (lockHolder).
    static pid_t& lockHolder()
    {
        static pid_t pid = 0;
        return pid;
    }
    static bool lockedByAChild(const QString& path, short type, off_t at)
    {
        int ready[2];
        if (::pipe(ready) != 0 || (lockHolder() = ::fork()) < 0)
            return false;
        if (lockHolder() == 0) {
            struct flock lock {
            };
            lock.l_type = type;
            lock.l_start = at;
            lock.l_len = 1;
            const int fd = ::open(QFile::encodeName(path).constData(), type == F_RDLCK ? O_RDONLY : O_RDWR);
            const bool held = ::fcntl(fd, F_SETLK, &lock) == 0;
            if (::write(ready[1], held ? "y" : "n", 1) == 1 && held)
                ::pause();
            ::_exit(0);
        }
        char held = 'n';
        const bool ok = ::read(ready[0], &held, 1) == 1 && held == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
        return ok;
    }

    // Whether the temporary folders' file system exchanges two names in one step, as a write then
    // puts its files in place.
    static bool canExchange()
    {
        const QByteArray a = QFile::encodeName(sourceFile("a", "a")),
                         b = QFile::encodeName(sourceFile("b", "b"));
        return ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) == 0;
    }

    // The text of a record of a write planted in a backup: of the given version, empty, of a version
    // line and a million lines of junk, or with a million lines, each naming stored.
    static QByteArray plantedRecord(const QString& kind, const QString& stored)
    {
        const QByteArray name
            = QFileInfo(stored).dir().dirName().toUtf8() + '/' + QFileInfo(stored).fileName().toUtf8();
        const QByteArray line = "file - none " + name + '\n';
        if (kind.startsWith("version"))
            return kind.toUtf8() + "\nmanifest - - Manifest.db\n" + line;
        if (kind == "empty")
            return QByteArray();
        if (kind.endsWith("junk"))
            return "version 3\n" + QByteArray("x\n").repeated(1000000);
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
        QTest::addColumn<QString>("refused"); // how the write is refused, empty when it is staged
        QTest::newRow("Manifest.db") << QStringList {} << ""
                                     << "";
        QTest::newRow("Manifest.mbdb encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "pw"
            << "";
        // Its damaged rest would be lost: the load reads the records before it, a write is refused.
        QTest::newRow("Manifest.mbdb with zeros after its records")
            << QStringList { "--layout", "mbdb" } << ""
            << "/Manifest.mbdb is damaged: a record has neither a domain nor a path at byte ";
    }

    // Files and manifest staged but never committed, or a write refused: the backup is as it was,
    // with no temporaries and no hashed folders left behind.
    void uncommittedWriteLeavesNoTrace()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(QString, refused);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        QFile list(dir + "/Manifest.mbdb");
        QVERIFY(
            refused.isEmpty() || (list.open(QIODevice::Append) && list.write(QByteArray(500, '\0')) == 500));
        list.close();
        const QString digest = GenBackup::folderDigest(dir);
        const QStringList folders = QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        BackupManifest m(dir);
        open(m, password);
        try {
            BackupWriter writer(m, {}, {});
            writer.stageFilesThrow({ { "HomeDomain", sourceFile("new"), "Library/SMS/sms.db", true, true },
                { "BrandNewDomain", sourceFile("more"), "Some/new/file.txt", true, false } });
            writer.stageManifestThrow();
            QCOMPARE(writer.staged().size(), 2);
            QVERIFY(refused.isEmpty());
        } catch (const std::runtime_error& e) {
            QVERIFY2(!refused.isEmpty() && QString(e.what()).startsWith(dir + refused), e.what());
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot), folders);
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
        // What fails once the manifest is in place, the disk left with room: its folder's "sync", or
        // every change as the disk goes "read-only"; empty for none.
        QTest::addColumn<QString>("after");
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString storedFile
            = "^Cannot write DIR/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28\\.[0-9a-f]{16}"
              "\\.qmtmp\\. No space left on device$";
        const int room = 24 * 1024;
        QTest::newRow("a stored file") << QStringList {} << "" << 1000000 << room << storedFile << "";
        QTest::newRow("a stored file, encrypted") << encrypted << "pw" << 1000000 << room << storedFile << "";
        QTest::newRow("Manifest.db")
            << QStringList {} << "" << 10 << room
            << "^Cannot copy .*/Manifest\\.db to DIR/Manifest\\.db\\.[0-9a-f]{16}\\.qmtmp\\. No space left "
               "on device$"
            << "";
        QTest::newRow("Manifest.db encrypted")
            << encrypted << "pw" << 10 << room
            << "^Cannot write DIR/Manifest\\.db\\.[0-9a-f]{16}\\.qmtmp\\. No space left on device$"
            << "";
        QTest::newRow("Manifest.mbdb")
            << QStringList { "--layout", "mbdb", "--records", "1000", "--no-filler-files" } << "" << 10
            << room << "^Cannot write DIR/Manifest\\.mbdb\\.[0-9a-f]{16}\\.qmtmp\\. No space left on device$"
            << "";
        QTest::newRow("the record of the write")
            << QStringList {} << "" << 10 << 0
            << "^Cannot write DIR/Manifest\\.qmwrite\\. No space left on device$"
            << "";
        // The write is in place but not known to be on the disk: told, and settled at the next opening.
        const QString unconfirmed(
            "^Cannot confirm that the write into DIR reached the disk: %1\\. What was "
            "written may not be there; the backup is checked when it is next opened\\.$");
        QTest::newRow("the folder's sync after the manifest's put-in")
            << QStringList {} << "" << 10 << -1
            << unconfirmed.arg("its folder could not be synced\\. Input/output error") << "sync";
        QTest::newRow("the old manifest's removal, the disk gone read-only, encrypted")
            << encrypted << "pw" << 10 << -1
            << unconfirmed.arg("the manifest it replaced, which now stands as "
                               "DIR/Manifest\\.db\\.[0-9a-f]{16}\\.qmtmp, could not be removed\\. "
                               "Read-only file system")
            << "read-only";
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
        // The log must still hold what the copy of the manifest took in (the planning that comes in
        // between removes an earlier write's second name of sms.db).
        QTest::newRow("Manifest.db's log written while the write is planned")
            << QStringList { "--wal-rows", "3" } << none << QString("planning")
            << QString("Manifest.db's log written") << changed << none;
        // What another program puts in place after the last check stays: the staged file goes in by
        // an exchange of names, and what came out must be the file checked.
        QTest::newRow("sms.db written in place after it was checked")
            << QStringList {} << none << checked << QString("sms.db written") << changed << none;
        QTest::newRow("sms.db replaced after it was checked")
            << QStringList {} << none << checked << QString("sms.db replaced") << changed << none;
        const QString committing("committing");
        QTest::newRow("Manifest.db replaced right before the commit")
            << QStringList {} << none << committing << QString("Manifest.db replaced") << changed << none;
        QTest::newRow("Manifest.db replaced right before the commit, encrypted")
            << encrypted << QString("pw") << committing << QString("Manifest.db replaced") << reload << none;
        // Another program's writes through a log made after the old one went aside: that log would
        // stay beside the new manifest, and the old one never comes back beside that program's.
        QTest::newRow("Manifest.db written through a log right before the commit")
            << QStringList { "--wal-rows", "3" } << none << committing
            << QString("Manifest.db written through a log") << changed
            << QString(
                   "^Kept Manifest\\.db-wal\\.qmold, what Manifest\\.db-wal held before the write: another "
                   "program has written Manifest\\.db since, which that log would damage\\.$");
        QTest::newRow("Manifest.db's log made right before the commit")
            << QStringList {} << none << committing << QString("Manifest.db's log made") << changed << none;
        // A transaction of another program's under way (its journal, or its lock): its rows would go
        // into the replaced manifest, or its journal be played into the new one.
        const QString inUse(
            "^Another program is using .*/Manifest\\.db: nothing was written\\. Close it and try "
            "again\\.$");
        // A journal that holds a transaction without its program's lock is one a program stopped in.
        const QString leftOver(
            "^Another program stopped in the middle of a change to .*/Manifest\\.db and left "
            "its journal .*/Manifest\\.db-journal: nothing was written\\. ");
        QTest::newRow("Manifest.db's journal made right before the commit")
            << QStringList {} << none << committing << QString("Manifest.db's journal made") << leftOver
            << none;
        // SQLite would open, and may remove, the journal one of a change to several databases names:
        // no advice to open the manifest with it. Without that journal, SQLite drops the one left.
        QTest::newRow("Manifest.db's journal made naming a journal there right before the commit")
            << QStringList {} << none << committing
            << QString("Manifest.db's journal made naming a journal there")
            << QString("^Another program stopped in the middle of a change to .*/Manifest\\.db and left its "
                       "journal .*/Manifest\\.db-journal: nothing was written\\. Let that program finish or "
                       "take back its change; then try again\\.$")
            << none;
        QTest::newRow("Manifest.db's journal made naming a journal gone right before the commit")
            << QStringList {} << none << committing
            << QString("Manifest.db's journal made naming a journal gone")
            << QString(
                   "^.*/Manifest\\.db-journal is left over from a change another program made to "
                   ".*/Manifest\\.db and other files together: nothing was written, for SQLite could still "
                   "play it back into the new manifest\\. Move .*/Manifest\\.db-journal out of the backup; "
                   "then try again\\.$")
            << none;
        QTest::newRow("Manifest.db locked by another program right before the commit")
            << QStringList {} << none << committing << QString("Manifest.db locked") << inUse << none;
        QTest::newRow("Manifest.db's journal made with a live header right before the commit")
            << QStringList {} << none << committing
            << QString("Manifest.db's journal made with a live header") << leftOver << none;
        QTest::newRow("Manifest.db's journal left zeroed and a write transaction under way")
            << QStringList {} << none << committing
            << QString("Manifest.db's journal left zeroed, Manifest.db locked for a write") << inUse << none;
        // What another program finished with holds no transaction: it stays, and the write goes on.
        QTest::newRow("Manifest.db's journal left empty")
            << QStringList {} << none << committing << QString("Manifest.db's journal left empty") << none
            << none;
        QTest::newRow("Manifest.db's journal left zeroed")
            << QStringList {} << none << committing << QString("Manifest.db's journal left zeroed") << none
            << none;
        // Its owner may fill it at any time, and SQLite then play it back into the new manifest.
        QTest::newRow("Manifest.db's journal left empty by another user, where everyone may write")
            << QStringList {} << none << committing
            << QString("Manifest.db's journal left empty by another user")
            << QString("^the file .*/Manifest\\.db-journal stands in a folder everyone may write into and "
                       "belongs to another user \\(nobody\\): it is not read; nothing was written, for "
                       "SQLite could play it back into the new manifest\\.$")
            << none;
        for (const char* kept : { "with its first byte zero" })
            QTest::newRow(qPrintable(QString("Manifest.db's journal ") + kept))
                << QStringList {} << none << committing << QString("Manifest.db's journal ") + kept << none
                << none;
        // A link is never followed, not even to see that SQLite would find nothing to play back.
        for (const char* notAFile : { "a FIFO", "a folder", "a link to an empty file", "a dangling link" })
            QTest::newRow(qPrintable(QString("Manifest.db's journal ") + notAFile))
                << QStringList {} << none << committing << QString("Manifest.db's journal ") + notAFile
                << QString(
                       "^.*/Manifest\\.db-journal is not a file but stands where SQLite looks for the "
                       "journal of .*/Manifest\\.db: nothing was written while it is there\\. Move it away; "
                       "then try again\\.$")
                << none;
        // Only what the write staged goes in place, and no file is left vacant without the record that
        // names its old copy (a second write settles this one's as a stopped write's).
        QTest::newRow("sms.db's temporary replaced")
            << QStringList {} << none << checked << QString("sms.db's temporary replaced") << changed << none;
        QTest::newRow("the record and sms.db's temporary removed, no hard links")
            << QStringList {} << none << planned
            << QString("the record and sms.db's temporary removed, no hard links") << changed << none;
        // The object that wrote follows the manifest it put in place, not the one another program put
        // there just after: the next write through it starts from the one in place or not at all.
        QTest::newRow("Manifest.db written just after the commit, encrypted, written again")
            << encrypted << QString("pw") << committed << QString("Manifest.db written") << reload << none;
        // The road read sms.db and merged into it; its write must not replace what another program
        // put there since, though the file already held that when the write was planned.
        const QString read("read");
        QTest::newRow("sms.db replaced after the road read it")
            << QStringList {} << none << read << QString("sms.db replaced") << changed << none;
        QTest::newRow("sms.db replaced after the road read it, encrypted")
            << encrypted << QString("pw") << read << QString("sms.db replaced") << changed << none;
        QTest::newRow("sms.db written in place after the road read it")
            << QStringList {} << none << read << QString("sms.db written") << changed << none;
        QTest::newRow("sms.db removed after the road read it")
            << QStringList {} << none << read << QString("sms.db removed") << changed << none;
        // Refused before the write stages anything (see the count of changes).
        QTest::newRow("Manifest.db's journal made after the road read it")
            << QStringList {} << none << read << QString("Manifest.db's journal made") << leftOver << none;
        QTest::newRow("Manifest.db locked by another program after the road read it")
            << QStringList {} << none << read << QString("Manifest.db locked") << inUse << none;
        // The folder of sms.db swapped for a link to it once the write's record is in place: nothing
        // goes through the link, and what the write did is undone when the folder is back.
        const QString swapped(
            "^Cannot write into the backup in .*: PATH is a link or a file, not a folder\\.$");
        const QString swap("sms.db's folder swapped for a link");
        const QString movedAway("sms.db's folder swapped for nothing"),
            another("sms.db's folder swapped for another folder");
        const QString replaced("^Cannot write into the backup in .*: another program moved or replaced the "
                               "folder PATH while this write was under way\\.$");
        QTest::newRow("sms.db's folder swapped before sms.db is kept aside")
            << QStringList {} << none << planned << swap << swapped << none;
        QTest::newRow("sms.db's folder swapped before sms.db is kept aside, encrypted")
            << encrypted << QString("pw") << planned << swap << swapped << none;
        QTest::newRow("sms.db's folder swapped before sms.db's put-in")
            << QStringList {} << none << checked << swap << swapped << none;
        QTest::newRow("sms.db's folder swapped right before the commit")
            << QStringList {} << none << committing << swap << swapped << none;
        QTest::newRow("sms.db's folder swapped right before the commit, encrypted")
            << encrypted << QString("pw") << committing << swap << swapped << none;
        QTest::newRow("sms.db's folder swapped for another folder right before the commit")
            << QStringList {} << none << committing << another << replaced << none;
        // What the write staged in the folder moved away is removed from there; each step names it.
        QTest::newRow("sms.db's folder swapped for another folder before sms.db is kept aside")
            << QStringList {} << none << planned << another << replaced << none;
        QTest::newRow("sms.db's folder moved away before sms.db is kept aside")
            << QStringList {} << none << planned << movedAway << replaced << none;
        QTest::newRow("sms.db's folder moved away before sms.db is kept aside, encrypted")
            << encrypted << QString("pw") << planned << movedAway << replaced << none;
        QTest::newRow("sms.db's folder moved away before sms.db's put-in")
            << QStringList {} << none << checked << movedAway << replaced << none;
        // The write stands; its old copy behind the link is left for the next opening to settle.
        QTest::newRow("sms.db's folder swapped just after the commit")
            << QStringList {} << none << committed << swap
            << QString("^Cannot confirm that the write into .* reached the disk: the old files it kept "
                       "aside could not be removed \\(the log says why\\)\\. What was written may not be "
                       "there; the backup is checked when it is next opened\\.$")
            << none;
    }

    // A program that does not hold the folder (as the phone-sync program does not) changes a file
    // the write replaces between its planning and its commit, or between the road's reading of it
    // and the write: the write is undone, that program's file stays as it wrote it, and the error
    // names the file. The old copy of a file changed after
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
        if (change.endsWith("by another user") && ::geteuid() != 0)
            QSKIP("Files of another user are put there by root only");
        if (((moment == "checked" && change.startsWith("sms.db "))
                || change.startsWith("Manifest.db replaced"))
            && !canExchange())
            QSKIP("This file system cannot exchange two names in one step.");
        const QString pristine = GenBackup::make(args);
        QVERIFY(!pristine.isEmpty());
        QList<BackupManifest::WriteRequest> items = restoreLike();
        const QString dir = TestEnv::copyToTemp(pristine);
        const QString expected = TestEnv::copyToTemp(pristine);
        // Names of the write's own are not in the backup the write leaves.
        const bool own = change.contains("temporary") || change.endsWith("through a log")
            || change.contains("locked") || change.contains("swapped");
        QVERIFY(own || !changeMeanwhile(expected, items, change, dir).isEmpty());
        const QString stored = storedPath(dir, items[0]);
        if (moment == "planning")
            QCOMPARE(
                ::link(QFile::encodeName(stored), QFile::encodeName(BackupWriteNames::asideOf(stored))), 0);
        if (change.endsWith("no hard links"))
            BackupWriteNames::setLinkCall(
                [](int, const char*, int, const char*, int) { return errno = EPERM, -1; });
        QString path;
        if (moment == "read") {
            BackupManifest road(dir);
            open(road, password);
            road.copyFile(
                road.smsNode, TestEnv::tempDir() + "/sms.db", nullptr, nullptr, &items[0].expectedOld);
            QVERIFY(items[0].expectedOld.known());
            path = changeMeanwhile(dir, items, change);
        }
        int changes = 0;
        QString swappedTo; // where the swapped folder went, and what both folders held then
        QString heldThen; // but for the write's temporaries, which it removes when it fails
        const auto besideTemporaries = [](const QString& folder) {
            QStringList lines = GenBackup::folderDigest(folder).split('\n');
            lines.removeIf([](const QString& line) { return line.contains(".qmtmp "); });
            return lines.join('\n');
        };
        BackupWriteNames::setBeforeChange([&] {
            ++changes;
            if (path.isEmpty() && momentOf(dir, storedPath(dir, items[0])) == moment)
                path = changeMeanwhile(dir, items, change);
            if (swappedTo.isEmpty() && change.contains("swapped") && !path.isEmpty()) {
                swappedTo = dir + ".away";
                heldThen = besideTemporaries(swappedTo) + besideTemporaries(path);
            }
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
        BackupWriteNames::setBeforeChange({});
        BackupWriteNames::setLinkCall(::linkat);
        if (lockHolder() > 0 && ::kill(std::exchange(lockHolder(), 0), SIGKILL) == 0)
            ::wait(nullptr);
        QVERIFY2(!path.isEmpty(), "the other program changed nothing");
        if (failure.isEmpty() && change.contains("journal")) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            checkWritten(dir, password, items);
            QCOMPARE(readAll(path), readAll(expected + "/Manifest.db-journal"));
            return;
        }
        if (failure.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            checkBeforeOrWritten(readBack(dir, password, items),
                readBack(TestEnv::copyToTemp(pristine), password, items), items, 0);
            QCOMPARE(readAll(BackupWriteNames::asideOf(path)).mid(24, 17), QByteArray("another program's"));
            return;
        }
        QVERIFY2(QRegularExpression(QString(failure).replace("PATH", QRegularExpression::escape(path)))
                     .match(error)
                     .hasMatch(),
            qPrintable(error));
        if (moment == "read") // refused before it began: nothing was staged
            QCOMPARE(changes, 0);
        // Neither folder got anything; the folder back, the next opening settles the write.
        if (!swappedTo.isEmpty()) {
            QCOMPARE(GenBackup::folderDigest(swappedTo) + GenBackup::folderDigest(path), heldThen);
            QVERIFY((QFile::remove(path) || QDir().rmdir(path) || !QFileInfo::exists(path))
                && QDir().rename(swappedTo, path));
            BackupManifest m(dir);
            open(m, password);
            QVERIFY(!m.earlierWriteUnsettled());
            if (again)
                return checkWritten(dir, password, items);
        }
        QVERIFY(!BackupWriteRecord::pending(QDir(dir)));
        if (change.contains("naming a journal")) { // never opened, nor removed
            QCOMPARE(readAll(namedJournal(dir, change)),
                QByteArray(change.endsWith("there") ? "child-journal" : ""));
            QFile::remove(namedJournal(dir, change)); // the other program's
        }
        if (change.endsWith("for a write")) // its journal, kept as it was: the expected backup has no lock
            QVERIFY(readAll(path).startsWith(QByteArray(28, '\0')) && QFile::remove(path));
        if (change.startsWith("sms.db's temporary")) { // another program's file, at a name of the write's
            QCOMPARE(readAll(path), QByteArray("another program's"));
            QVERIFY(QFile::remove(path));
        }
        if (change.endsWith("through a log")) { // that program's manifest reads whole, with its row
            Sqlite3DB db;
            db.openReadOnlyThrow(path);
            Sqlite3Cursor c = db.queryThrow("select count(*) from Files where fileID='theirs'");
            QVERIFY(c.moveNext() && c.getInt(0) == 1);
            c = db.queryThrow("pragma integrity_check");
            QVERIFY(c.moveNext() && c.getText(0) == "ok");
            return;
        }
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
        QFETCH(QString, after);
        FailingDisk::SmallDisk disk(4 * 1024 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString generated = GenBackup::make(args);
        QVERIFY(!generated.isEmpty());
        const QString dir = disk.path() + "/backup";
        QVERIFY(copyTree(generated, dir));
        const QString digest = GenBackup::folderDigest(dir);
        const QList<BackupManifest::WriteRequest> items { { "HomeDomain",
            sourceFile(QByteArray(sourceSize, 'S'), "sms.db"), "Library/SMS/sms.db", true, true } };
        if (room >= 0)
            disk.fill(room);
        // The put-in of the manifest is the change made while only its temporary is left.
        bool putIn = false;
        BackupWriteNames::setBeforeChange([&] {
            if (putIn && after == "read-only")
                disk.setReadOnly(true);
            putIn = putIn || momentOf(dir, storedPath(dir, items[0])) == "committing";
            syncsFail = putIn && after == "sync";
        });
        BackupWriteNames::setSyncCall([](int fd) { return syncsFail ? (errno = EIO, -1) : ::fsync(fd); });
        // Nothing half-written stays, and nothing is removed that is not there (a name-less file).
        QTest::failOnWarning(QRegularExpression("QFile::remove"));
        QString error("a write went through on a failing disk");
        try {
            BackupManifest m(dir);
            open(m, password);
            m.writeFilesThrow(items);
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        BackupWriteNames::setBeforeChange({});
        BackupWriteNames::setSyncCall(::fsync);
        syncsFail = false;
        QVERIFY(disk.setReadOnly(false));
        QVERIFY2(QRegularExpression(QString(failure).replace("DIR", QRegularExpression::escape(dir)))
                     .match(error)
                     .hasMatch(),
            qPrintable(error));
        if (!after.isEmpty()) { // the next opening finishes the write
            QVERIFY(BackupWriteRecord::pending(QDir(dir)));
            BackupManifest m(dir);
            open(m, password);
            checkWritten(dir, password, items);
            return;
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
        const QString planted = BackupWriteNames::asideOf(target);
        BackupWriteNames::setBeforeChange([&] {
            QFile f(planted);
            if (!f.exists() && f.open(QIODevice::WriteOnly))
                f.write("another program's");
        });
        try {
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow(items);
            BackupWriteNames::setBeforeChange({});
            QFAIL("the write went through");
        } catch (const std::runtime_error& e) {
            BackupWriteNames::setBeforeChange({});
            QCOMPARE(QString::fromUtf8(e.what()), QString("can not overwrite %1. File exists").arg(target));
        }
        QCOMPARE(readAll(planted), QByteArray("another program's"));
        QFile::remove(planted);
        QCOMPARE(GenBackup::folderDigest(dir), digest);
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
        // At the name that temporaries of earlier versions shared: the write's own are its alone.
        QTest::newRow("a link out at the temporary") << link << temp << none << none;
        QTest::newRow("a FIFO at the temporary") << QString("fifo") << temp << none << none;
        QTest::newRow("a temporary another write staged") << QString("file") << temp << none << none;
        QTest::newRow("a link out at the old copy's name") << link << old << none << moved;
        QTest::newRow("an old copy another write left") << QString("file") << old << none << moved;
        QTest::newRow("a stored-file folder that is a link")
            << link << QString("folder")
            << QString("^Cannot write into the backup in .*: .* is a link or a file, not a folder\\.$")
            << none;
        // A stored file or the manifest that is a link (as a tool that keeps one copy of the files
        // several backups share leaves them) is told as a link, and nothing is written.
        const QString shared("^Cannot write into the backup in .*: .* is a link, and a write into a backup "
                             "replaces no file that is a link\\. Nothing was written\\.$");
        QTest::newRow("a stored file that is a link") << QString("shared") << QString() << shared << none;
        QTest::newRow("a manifest that is a link")
            << QString("shared") << QString("manifest") << shared << none;
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
        // An empty record is no write's (a write puts its record in place whole, by a rename), nor is
        // one of junk lines: neither is taken for a write that was undone, or that left nothing.
        QTest::newRow("an empty record") << QString("empty") << QString("record")
                                         << QString("^Cannot finish or undo the earlier write into .*\\.$")
                                         << QString("Left .*/Manifest\\.qmwrite as it is: it is empty, and "
                                                    "no write leaves its record empty\\.");
        QTest::newRow("a record of its version line and a million lines of junk")
            << QString("a million lines of junk") << QString("record")
            << QString("^Cannot finish or undo the earlier write into .*\\.$")
            << QString(
                   "Left .*/Manifest\\.qmwrite as it is: its line 2 is not a line of the record of a write, "
                   "so the record is damaged\\.");
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
        const QString name = at == "record" ? dir + "/Manifest.qmwrite"
            : at == "manifest"              ? dir + "/Manifest.db"
                                            : stored + at;
        if (at == "folder")
            QVERIFY(moveFolderAway(dir, items[0]));
        else if (planted == "shared")
            QVERIFY(QFile::rename(name, outside + "-shared") && QFile::link(outside + "-shared", name));
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
            QCOMPARE(BackupWriteRecord::pending(QDir(dir)), at == "record");
            QCOMPARE(readBack(dir, QString(), items), before);
            return;
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        if (at == ".qmtmp") { // no name of the write's: as it was
            struct stat st;
            QVERIFY(::lstat(QFile::encodeName(name).constData(), &st) == 0);
            QCOMPARE(QString(S_ISLNK(st.st_mode) ? "link" : S_ISFIFO(st.st_mode) ? "fifo" : "file"), planted);
            QCOMPARE(readAll(outside), QByteArray("mine"));
            if (planted == "file")
                QCOMPARE(readAll(name), QByteArray("another write's"));
            QVERIFY(QFile::remove(name));
        }
        checkWritten(dir, QString(), items);
        QVERIFY(!QFileInfo(stored).isSymLink());
        if (at == ".qmold") {
            QCOMPARE(QFileInfo(name + "-1").isSymLink(), planted == "link");
            if (planted == "file")
                QCOMPARE(readAll(name + "-1"), QByteArray("another write's"));
        }
    }

    void linksOnTheWayToTheBackup_data()
    {
        QTest::addColumn<QString>("at"); // "backup": a link to the backup; "way": to the folder it is in
        QTest::addColumn<int>("owner"); // of the link; -1: this user
        QTest::addColumn<QString>("error");
        const QString refused(
            "^Cannot write into the backup in .*/shared/%1: the link .*/shared/%2 stands in a "
            "folder everyone may write into and belongs to another user \\(.*\\): it is not "
            "followed, and nothing was written\\.$");
        QTest::newRow("the user's link at the backup's name") << "backup" << -1 << QString();
        QTest::newRow("the user's link on the way") << "way" << -1 << QString();
        QTest::newRow("another user's link at the backup's name")
            << "backup" << 65534 << refused.arg("backup", "backup");
        QTest::newRow("another user's link on the way") << "way" << 65534 << refused.arg("way/.*", "way");
    }
    // The backup is reached as every export reaches its folder: in a folder everyone may write into
    // (as /tmp), a link another user put there, at the backup's name or on the way, is not followed
    // and nothing is written; the user's own links are followed.
    void linksOnTheWayToTheBackup()
    {
        QFETCH(QString, at);
        QFETCH(int, owner);
        QFETCH(QString, error);
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        const QString shared = TestEnv::tempDir() + "/shared";
        QVERIFY(QDir().mkdir(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const QString link = shared + "/" + at;
        QVERIFY(QFile::link(at == "way" ? QFileInfo(dir).absolutePath() : dir, link));
        if (owner >= 0 && ::lchown(QFile::encodeName(link).constData(), uid_t(owner), gid_t(-1)) != 0)
            QSKIP("another user's link can only be made as root");
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        const QHash<QString, QByteArray> before = readBack(dir, QString(), items);
        QString log;
        const QString failure
            = writeInChild(at == "way" ? link + "/" + QFileInfo(dir).fileName() : link, items, &log);
        if (error.isEmpty()) {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            checkWritten(dir, QString(), items);
            return;
        }
        QVERIFY2(QRegularExpression(error).match(failure).hasMatch(), qPrintable(failure));
        QCOMPARE(readBack(dir, QString(), items), before);
        QVERIFY(!BackupWriteRecord::pending(QDir(dir)));
    }

    // What the write stages is never readable by more users than the file it replaces, not even
    // for a moment: another local user may not read a private backup's messages through it. It is
    // made with the permissions of that file, which the file written then keeps.
    void temporariesAreNoWiderThanTheirFiles_data()
    {
        QTest::addColumn<int>("mode"); // of the stored file and the manifest replaced
        QTest::addColumn<int>("owner"); // of those files; -1: this user
        QTest::addColumn<int>("kept"); // the mode the files written have
        QTest::newRow("private files") << 0600 << -1 << 0600;
        QTest::newRow("files the group may read") << 0640 << -1 << 0640;
        // Another user's mode is not this user's to give: the write's files are private.
        QTest::newRow("another user's files everyone may write") << 0666 << 65534 << 0600;
    }
    void temporariesAreNoWiderThanTheirFiles()
    {
        QFETCH(int, mode);
        QFETCH(int, owner);
        QFETCH(int, kept);
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        const QList<BackupManifest::WriteRequest> items = restoreLike();
        const QString stored = storedPath(dir, items[0]);
        for (const QString& path : { stored, dir + "/Manifest.db" }) {
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
            if (owner >= 0 && ::chown(QFile::encodeName(path).constData(), uid_t(owner), gid_t(-1)) != 0)
                QSKIP("another user's file can only be made as root");
        }
        const mode_t mask = ::umask(022);
        mode_t widest = 0;
        BackupWriteNames::setBeforeChange([&] {
            for (QDirIterator it(dir, QDir::Files | QDir::System, QDirIterator::Subdirectories);
                 it.hasNext();) {
                struct stat st;
                // The write's own files: another user's old ones, kept aside, keep their mode.
                if (it.next().contains(".qm")
                    && ::lstat(QFile::encodeName(it.filePath()).constData(), &st) == 0
                    && st.st_uid == ::geteuid())
                    widest |= st.st_mode & 0077;
            }
        });
        made.clear();
        const BackupWriteFolder::CreateCall create = BackupWriteFolder::setCreateCall(createNoting);
        {
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow(items);
        }
        BackupWriteFolder::setCreateCall(create);
        BackupWriteNames::setBeforeChange({});
        ::umask(mask);
        QCOMPARE(widest & ~mode_t(kept), mode_t(0));
        int replacing = 0;
        for (auto it = made.cbegin(); it != made.cend(); ++it)
            if (it.key().startsWith(QFileInfo(stored).fileName()) || it.key().startsWith("Manifest.db.")) {
                QVERIFY2(it.value() == kept, qPrintable(it.key() + " " + QString::number(it.value(), 8)));
                ++replacing;
            }
        QVERIFY2(replacing >= 2, qPrintable(QStringList(made.keys()).join(' ')));
        for (const QString& path : { stored, dir + "/Manifest.db" }) {
            struct stat st;
            QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
            QCOMPARE(int(st.st_mode & 0777), kept);
        }
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
