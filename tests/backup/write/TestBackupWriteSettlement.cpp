#include "backup/ContentDigest.h"
#include "backup/support/BackupReads.h"
#include "backup/support/BackupWrites.h"
#include "backup/support/GenBackup.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteRecord.h"
#include "backup/write/BackupWriteSettlement.h"
#include "backup/write/BackupWriter.h"
#include "messages/support/MsgFixtures.h"
#include "notes_media/PhotoThumbnail.h"
#include "support/FailingDisk.h"
#include "support/PlainUser.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using BackupReads::readAll;
using namespace BackupWrites;

// The settling of a write into a backup that was stopped (killed, failed, or its record left by
// an earlier run), as the next opening of the backup does it (BackupWriteSettlement): every file
// the write touched reads whole, as it was or as written, and nothing outside the backup is touched.
class TestBackupWriteSettlement : public QObject
{
    Q_OBJECT

    // The write run in a child process that is killed (SIGKILL) just before the step-th change
    // it makes inside the backup. True when it was killed, false when it finished first.
    static bool writeKilledAt(const QString& dir, const QString& password,
        const QList<BackupManifest::WriteRequest>& items, int step, bool linkless = false)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            if (linkless) // as on a disk without hard links: old files are moved aside
                BackupWriteNames::setLinkCall([](int, const char*, int, const char*, int) {
                    errno = EPERM;
                    return -1;
                });
            int changes = 0;
            BackupWriteNames::setBeforeChange([&] {
                if (++changes == step)
                    ::kill(::getpid(), SIGKILL);
            });
            BackupWrites::writeAndExit(dir, password, items);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
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

    // The record of a write left in dir rewritten as a version that took SHA-256 digests wrote it
    // (version 3, without the lines that name the write and end later records), each content found
    // among the files of the backup and the manifest of pristine. False when one is not found.
    static bool recordAsBefore(const QString& dir, const QString& pristine)
    {
        QFile record(dir + "/Manifest.qmwrite");
        if (!record.exists())
            return true;
        QByteArray text = record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
        record.close();
        const qsizetype second = text.indexOf('\n', 10);
        if (!text.startsWith("version 5\nwrite ") || !text.endsWith('\n') || second < 0)
            return false;
        // Its temporaries under the one name those versions gave them.
        const QByteArray ownTemp = '.' + text.mid(16, second - 16) + ".qmtmp";
        for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            if (const QString name = it.next(); name.endsWith(ownTemp))
                QFile::rename(name, name.chopped(ownTemp.size()) + ".qmtmp");
        text = "version 3" + text.mid(second, text.lastIndexOf('\n', text.size() - 2) - second + 1);
        QStringList files { pristine + "/Manifest.db" };
        // What a target held before may be gone from the folder once the write was finished.
        for (const QString& folder : { dir, pristine })
            for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                 it.hasNext();)
                files << it.next();
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

    // Another program writing a plain backup in place (same inodes): the manifest (its change
    // counter) and the stored copy of r. The files and what they hold now.
    static QHash<QString, QByteArray> rewriteInPlace(
        const QString& dir, const BackupManifest::WriteRequest& r)
    {
        const QString stored = storedPath(dir, r);
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
        const QByteArray id = readAll(dir + "/Manifest.qmwrite").split('\n').value(1).mid(6);
        for (const BackupManifest::WriteRequest& r : items) {
            const QString target = storedPath(dir, r);
            const QString aside = BackupWriteNames::asideOf(target);
            const QString temp = BackupWriteNames::tempOf(target, id);
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

    // The record of the write left in dir damaged as a disk or an editor may: "a key misspelt" on a
    // line of a file, "a line removed", "a digest changed", or "cut short". False when the record
    // has nothing to damage so.
    static bool damageRecord(const QString& dir, const QString& damage)
    {
        QFile record(dir + "/Manifest.qmwrite");
        if (!record.open(QIODevice::ReadOnly))
            return false;
        QByteArray text = record.readAll();
        record.close();
        const qsizetype line = text.indexOf("\nfile ") + 1;
        const qsizetype digest = text.indexOf(":xxh128:") + 8;
        if (line == 0 || digest == 7 || text.size() < 10)
            return false;
        if (damage.endsWith("a key misspelt"))
            text[line + 2] = '1';
        else if (damage.endsWith("a line removed"))
            text.remove(line, text.indexOf('\n', line) + 1 - line);
        else if (damage.endsWith("a digest changed"))
            text[digest] = text[digest] == '0' ? '1' : '0';
        else
            text.chop(10);
        return record.open(QIODevice::WriteOnly | QIODevice::Truncate) && record.write(text) == text.size();
    }

    // Every folder of the backup in dir made writable (or not) by its owner only.
    static void setFoldersWritable(const QString& dir, bool writable)
    {
        const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther
            | (writable ? QFileDevice::WriteOwner : QFileDevice::Permissions());
        QDirIterator it(
            dir, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDirIterator::Subdirectories);
        while (it.hasNext())
            QFile::setPermissions(it.next(), mode);
        QFile::setPermissions(dir, mode);
    }

    // The backup in dir, with the record of the stopped write, opened by a reader who may not write
    // in it: the log gives the system's reason why the write cannot be settled, and a file the write
    // touched that does not read as its record says is told as part of that write, not as damage.
    // A file that reads otherwise than once the write is settled is told so, plain or encrypted; one
    // that reads the same under the same manifest is not.
    static void readByReaderWhoMayNotWrite(
        const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
    {
        static QStringList logged;
        logged.clear();
        QStringList errors;
        QHash<QString, QByteArray> read;
        bool unsettled = false;
        bool sameTold = true; // a picture's reader tells what a copy tells
        setFoldersWritable(dir, false);
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { logged.append(text); });
        QString whyNot;
        {
            PlainUser plain;
            whyNot = plain.whyNot();
            BackupManifest m(dir);
            if (plain.holdsToPermissions()) {
                open(m, password);
                unsettled = m.earlierWriteUnsettled();
            }
            for (const BackupManifest::WriteRequest& r : items)
                if (const BackupManifest::_FileNode* node = m.findNode(r.domain, r.relativePath);
                    unsettled && node && !node->implied && node->item.isFile()) {
                    const QString out = TestEnv::tempDir() + "/read.bin";
                    QFile::remove(out);
                    const QString copied
                        = BackupReads::errorOf([&] { m.copyFile(node, out, nullptr, nullptr); });
                    const QString drawn
                        = BackupReads::errorOf([&] { PhotoThumbnail::readStoredThrow(m, node); });
                    errors << copied << drawn;
                    sameTold = sameTold && copied.isEmpty() == drawn.isEmpty();
                    read.insert(r.relativePath, copied.isEmpty() ? readAll(out) : "told " + readAll(out));
                }
        }
        qInstallMessageHandler(previous); // the test's own, which checks the messages it expects
        setFoldersWritable(dir, true);
        const QString manifest = dir + "/Manifest.db";
        const QByteArray unsettledManifest = readAll(manifest);
        const QHash<QString, QByteArray> settled = readBack(dir, password, items);
        const bool sameManifest = readAll(manifest) == unsettledManifest;
        for (auto it = read.cbegin(); it != read.cend(); ++it)
            QVERIFY2(it.value().startsWith("told ")
                    ? !sameManifest || "told " + settled[it.key()] != it.value()
                    : settled[it.key()] == it.value(),
                qPrintable(it.key()));
        QVERIFY2(whyNot.isEmpty(), qPrintable(whyNot));
        QVERIFY2(sameTold, qPrintable(errors.join('\n')));
        const QString log = logged.join('\n');
        QVERIFY2(unsettled, qPrintable(log));
        QVERIFY2(log.contains(QRegularExpression(
                     "^Cannot .*\\. Permission denied$", QRegularExpression::MultilineOption)),
            qPrintable(log));
        QVERIFY2(log.contains("Cannot finish or undo the earlier write into"), qPrintable(log));
        for (const QString& error : std::as_const(errors))
            QVERIFY2(error.isEmpty()
                    || error.contains("is part of a write into the backup that was stopped before it ended "
                                      "and cannot be finished or undone here"),
                qPrintable(error));
    }

    // The stored-file folder of items[0] swapped for a link to it at the first change the opening's
    // settling makes: nothing changes through the link; the folder back, the next opening settles.
    static void swapWhileSettling(
        const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
    {
        const QString folder = QFileInfo(storedPath(dir, items[0])).absolutePath();
        QString moved;
        QString heldThen;
        BackupWriteNames::setBeforeChange([&] {
            if (moved.isEmpty() && moveFolderAway(dir, items[0])) {
                moved = QFileInfo(folder).symLinkTarget();
                heldThen = GenBackup::folderDigest(moved);
            }
        });
        {
            BackupManifest m(dir);
            open(m, password);
        }
        BackupWriteNames::setBeforeChange({});
        if (moved.isEmpty())
            return; // settling changed nothing
        QCOMPARE(GenBackup::folderDigest(moved), heldThen);
        QVERIFY(QFile::remove(folder) && QDir().rename(moved, folder));
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
        if (after.startsWith("record") && damageRecord(dir, after)) {
            // Refused as a whole: nothing of it is followed, nothing in the folder changes.
            const QString digest = GenBackup::folderDigest(dir);
            BackupManifest m(dir);
            open(m, password);
            QVERIFY(m.earlierWriteUnsettled());
            QCOMPARE(GenBackup::folderDigest(dir), digest);
            return;
        }
        // (Only the beginning of a record, that is no write: nothing was changed.)
        if (after.startsWith("read by a reader who may not write")
            && QFileInfo::exists(dir + "/Manifest.qmwrite"))
            readByReaderWhoMayNotWrite(dir, password, items);
        if (after == "renames lost")
            QVERIFY(loseRenames(dir, items));
        if (after == "staged manifest removed")
            QFile::remove(tempOf(dir + "/Manifest.db"));
        if (after == "manifest rewritten")
            QVERIFY(rewriteManifest(dir, password));
        if (after == "folder linked" || after == "folder linked inside")
            QVERIFY(moveFolderAway(dir, items[0], after.endsWith("inside")));
        if (after == "folder swapped while settling")
            swapWhileSettling(dir, password, items);
        const QHash<QString, QByteArray> now = readBack(dir, password, items);
        if (BackupWriteRecord::pending(QDir(dir))) {
            // Not settled: the opening says so, and nothing is undone half.
            BackupManifest m(dir);
            open(m, password);
            QVERIFY(m.earlierWriteUnsettled());
            return;
        }
        checkBeforeOrWritten(now, before, items, step);
    }

private Q_SLOTS:
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
        // The staged manifest is removed after the kill (by the user, a cleaner or the disk): the write
        // was not committed, and is undone; the stored files decrypt under the manifest in place.
        QTest::newRow("Manifest.db encrypted, its staged manifest removed")
            << encrypted << "pw" << false << "staged manifest removed" << false;
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
        QTest::newRow("Manifest.db, a stored-file folder swapped for a link while settling")
            << QStringList {} << "" << false << "folder swapped while settling" << false;
        QTest::newRow("Manifest.db encrypted, a stored-file folder swapped for a link while settling")
            << encrypted << "pw" << false << "folder swapped while settling" << false;
        // The record as a version of the program that took SHA-256 digests left it.
        QTest::newRow("Manifest.db, recorded with SHA-256")
            << QStringList {} << "" << false << "sha256" << false;
        // A record damaged in one line, or cut short, is refused as a whole: none of its lines is
        // followed while others are left out.
        QTest::newRow("Manifest.db encrypted, a key of the record misspelt")
            << encrypted << "pw" << false << "record: a key misspelt" << false;
        QTest::newRow("Manifest.db encrypted, a line of the record removed")
            << encrypted << "pw" << false << "record: a line removed" << false;
        QTest::newRow("Manifest.db encrypted, a digest of the record changed")
            << encrypted << "pw" << false << "record: a digest changed" << false;
        QTest::newRow("Manifest.db, the record cut short")
            << QStringList {} << "" << false << "record: cut short" << false;
        // Read first by a user who may not write in the folder: the write stays for one who may.
        QTest::newRow("Manifest.db, read by a reader who may not write")
            << QStringList {} << "" << false << "read by a reader who may not write" << false;
        QTest::newRow("Manifest.db encrypted, read by a reader who may not write")
            << encrypted << "pw" << false << "read by a reader who may not write" << false;
        // Where old files are moved aside, not linked: a target the write left vacant is told as
        // part of that write too.
        QTest::newRow("Manifest.db encrypted, no hard links, read by a reader who may not write")
            << encrypted << "pw" << false << "read by a reader who may not write, no hard links" << false;
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
            if (!writeKilledAt(dir, password, items, step, after.endsWith("no hard links")))
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
            BackupWriteNames::setBeforeChange([&] {
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
            BackupWriteNames::setBeforeChange({});
            QVERIFY(BackupWriteSettlement::settle(QDir(dir)));
            if (GenBackup::folderDigest(dir) != digest)
                checkWritten(dir, QString(), items);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("failed at change %1").arg(step)));
        }
        QVERIFY(step > 8);
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
};

QTEST_GUILESS_MAIN(TestBackupWriteSettlement)
#include "TestBackupWriteSettlement.moc"
