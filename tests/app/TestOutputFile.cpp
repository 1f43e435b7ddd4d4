#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/TaskCancel.h"
#include "support/FailingDisk.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QByteArray content(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Writes bytes in chunks of `chunk` bytes and commits; false with out.failure() on any failure.
bool writeInChunks(OutputFile& out, const QByteArray& bytes, qsizetype chunk)
{
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (qsizetype at = 0; at < bytes.size(); at += chunk)
        if (out.write(bytes.mid(at, chunk)) < 0)
            break;
    return out.commit();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The mode each temporary had the moment it was made.
mode_t g_madeWith = 0;
int createNoting(int dir, const char* name, int flags, mode_t mode)
{
    const int fd = ::openat(dir, name, flags, mode);
    struct stat st;
    g_madeWith = fd >= 0 && ::fstat(fd, &st) == 0 ? st.st_mode & 07777 : 0;
    return fd;
}
// A disk that refuses names longer than 64 bytes, and any holding "refused", with EPERM (fusefat's word).
bool g_refuseAll = false;
int createRefusingLong(int dir, const char* name, int flags, mode_t mode)
{
    if (std::strlen(name) > 64 || g_refuseAll) {
        errno = EPERM;
        return -1;
    }
    return ::openat(dir, name, flags, mode);
}
} // namespace

class TestOutputFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesWholeFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("chunk");
        QTest::newRow("empty") << 0 << 1;
        QTest::newRow("small chunks") << 700000 << 17;
        QTest::newRow("large chunks") << 3000000 << 1000000;
    }
    void writesWholeFile()
    {
        QFETCH(int, size);
        QFETCH(int, chunk);
        const QString dir = TestEnv::tempDir();
        const QString path = dir + "/out.bin";
        writeFile(path, "old");
        OutputFile out(path);
        QVERIFY2(writeInChunks(out, content(size), chunk), qPrintable(out.failure()));
        QCOMPARE(readAll(path), content(size));
        QCOMPARE(entries(dir), QStringList { "out.bin" });
    }

    // A write that fails at the first byte, mid-way or only when the last buffered bytes go out at
    // the commit: false, the system's reason with the path, the old file as it was, nothing else.
    void failedWriteKeepsWhatWasThere_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("existed");
        QTest::newRow("first byte, new") << 0 << 5000 << false;
        QTest::newRow("first byte, replacing") << 0 << 5000 << true;
        QTest::newRow("mid-way, replacing") << 1000000 << 3000000 << true;
        QTest::newRow("at the commit, new") << 100 << 5000 << false;
    }
    void failedWriteKeepsWhatWasThere()
    {
        QFETCH(int, limit);
        QFETCH(int, size);
        QFETCH(bool, existed);
        const QString dir = TestEnv::tempDir();
        const QString path = dir + "/out.bin";
        if (existed)
            writeFile(path, "what the user had");
        OutputFile out(path);
        {
            FailingDisk::SizeLimit guard(limit);
            QVERIFY(!writeInChunks(out, content(size), 4096));
        }
        QCOMPARE(out.failure(), QString("Cannot write %1: File too large").arg(path));
        QCOMPARE(entries(dir), existed ? QStringList { "out.bin" } : QStringList());
        if (existed)
            QCOMPARE(readAll(path), QByteArray("what the user had"));
    }

    // A copy whose source fails (here a folder, which the kernel's copy refuses as it would a read
    // error) names the source, not the destination, and leaves the destination as it was.
    void failedSourceIsNamed()
    {
        const QString dir = TestEnv::tempDir();
        const QString from = TestEnv::tempDir();
        const QString to = dir + "/out.bin";
        writeFile(to, "what the user had");
        QString error;
        QVERIFY(!OutputFile::copy(from, to, &error));
        QCOMPARE(error, QString("Cannot read %1: Is a directory").arg(from));
        QCOMPARE(readAll(to), QByteArray("what the user had"));
        QCOMPARE(entries(dir), QStringList { "out.bin" });
    }

    void deviceIsWrittenDirectly()
    {
        OutputFile full("/dev/full");
        QVERIFY(!writeInChunks(full, content(10), 10));
        QCOMPARE(full.failure(), QString("Cannot write /dev/full: No space left on device"));
        QVERIFY(QFileInfo("/dev/full").exists());
        OutputFile null("/dev/null");
        QVERIFY2(writeInChunks(null, content(1000), 100), qPrintable(null.failure()));
        QVERIFY(QFileInfo("/dev/null").exists());
    }

    void ownNameRefusesWhatIsNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "Not a regular file";
        QTest::newRow("folder") << "folder"
                                << "Is a directory";
    }
    // A name the program makes is looked at, never opened: a FIFO there (which would block the
    // open until someone reads it) or a folder is refused at once, naming it, and stays.
    void ownNameRefusesWhatIsNotAFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = TestEnv::tempDir() + "/IMG_0003.HEIC";
        QVERIFY(
            kind == "fifo" ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 : QDir().mkdir(path));
        QElapsedTimer timer;
        timer.start();
        OutputFile out(path);
        out.setFollowLinks(false);
        QVERIFY(!out.open(QIODevice::WriteOnly));
        QCOMPARE(out.failure(), QString("Cannot write %1: %2").arg(path, reason));
        QString error;
        QVERIFY(!OutputFile::copy(QCoreApplication::applicationFilePath(), path, &error, {}, false));
        QCOMPARE(error, out.failure());
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(entries(QFileInfo(path).absolutePath()), QStringList { "IMG_0003.HEIC" });
        QCOMPARE(QFileInfo(path).isDir(), kind == "folder");
    }

    void linkIsFollowed_data()
    {
        QTest::addColumn<QString>("target"); // of the link
        QTest::newRow("beside its target") << "real/target.txt";
        // As the system takes "..": from the folder a link on the way leads to, not from its name.
        QTest::newRow("its target going up past a link") << "up/../target.txt";
    }
    // The link stays a link; the file it names gets the new content.
    void linkIsFollowed()
    {
        QFETCH(QString, target);
        const QString dir = TestEnv::tempDir();
        QDir().mkpath(dir + "/real/sub");
        writeFile(dir + "/real/target.txt", "old");
        QVERIFY(QFile::link("real/sub", dir + "/up") && QFile::link(target, dir + "/link.txt"));
        OutputFile out(dir + "/link.txt");
        QVERIFY2(writeInChunks(out, "new", 3), qPrintable(out.failure()));
        QVERIFY(QFileInfo(dir + "/link.txt").isSymLink());
        QCOMPARE(readAll(dir + "/real/target.txt"), QByteArray("new"));
        QCOMPARE(entries(dir + "/real"), (QStringList { "sub", "target.txt" }));
        QCOMPARE(entries(dir), (QStringList { "link.txt", "real", "up" }));
    }

    void linkInSharedFolder_data()
    {
        QTest::addColumn<QString>("place"); // where the link stands: see below
        QTest::addColumn<int>("mode"); // of the folder the link stands in
        QTest::addColumn<int>("folderOwner"); // -1: the user
        QTest::addColumn<int>("linkOwner"); // -1: the user
        QTest::addColumn<QString>("ownerText"); // in the refusal; empty: followed
        QTest::newRow("another user's link at the file name") << "name" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's link as the folder") << "folder" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's link on the way") << "way" << 01777 << -1 << 4242 << "user id 4242";
        QTest::newRow("a chain whose second link is another user's")
            << "chain" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's link before a \"..\"") << "up" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's link before a \"..\" ending the folder")
            << "folder up" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("the user's own link") << "name" << 01777 << -1 << -1 << "";
        QTest::newRow("the user's own link as the folder") << "folder" << 01777 << -1 << -1 << "";
        QTest::newRow("the user's own link before a \"..\"") << "up" << 01777 << -1 << -1 << "";
        QTest::newRow("the user's own link before a \"..\" ending the folder")
            << "folder up" << 01777 << -1 << -1 << "";
        QTest::newRow("a link of the folder's owner") << "name" << 01777 << 65534 << 65534 << "";
        QTest::newRow("a folder sticky, not writable by everyone") << "way" << 01755 << -1 << 65534 << "";
        QTest::newRow("a folder writable by everyone, not sticky") << "folder" << 0777 << -1 << 65534 << "";
        // The same rules for a FIFO or a file that stands there, which another user may read.
        QTest::newRow("another user's FIFO at the file name") << "fifo" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's file at the file name") << "file" << 01777 << -1 << 65534 << "nobody";
        QTest::newRow("another user's file in the folder written into")
            << "file held" << 01777 << -1 << 65534 << "nobody";
    }
    // The system's rules for a folder everyone may write into (as /tmp), kept whether the system
    // keeps them or not: another user's link there is not followed, and the user's file or folder it
    // leads to stays as it was; another user's FIFO or file there gets nothing. "name": a link to the
    // user's file is the file's name; "folder": a link to the user's folder is the folder written
    // into; "way": such a link is a part of the path; "chain": the user's own link there leads to
    // such a link; "up" and "folder up": a ".." after a link to a folder below the user's goes up from
    // there, as the system goes; "fifo", "file": that stands at the file name, read by its owner;
    // "file held": that is written over by a name the program makes in the folder.
    void linkInSharedFolder()
    {
        QFETCH(QString, place);
        QFETCH(int, mode);
        QFETCH(int, folderOwner);
        QFETCH(int, linkOwner);
        QFETCH(QString, ownerText);
        const QString shared = TestEnv::tempDir() + "/shared", mine = TestEnv::tempDir();
        writeFile(mine + "/c.vcf", "the user's own");
        QVERIFY(QDir().mkdir(shared) && ::chmod(QFile::encodeName(shared).constData(), mode_t(mode)) == 0);
        const QString link = shared + "/l";
        const bool up = place.endsWith("up"), entry = place.startsWith("fifo") || place.startsWith("file");
        QVERIFY(!up || QDir().mkdir(mine + "/below"));
        if (place == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(link).constData(), 0666) == 0);
        else if (entry)
            writeFile(link, "theirs");
        else
            QVERIFY(QFile::link(place == "name" ? mine + "/c.vcf" : up ? mine + "/below" : mine, link));
        if (::lchown(QFile::encodeName(link).constData(), uid_t(linkOwner), gid_t(-1)) != 0
            || ::chown(QFile::encodeName(shared).constData(), uid_t(folderOwner), gid_t(-1)) != 0)
            QSKIP("the links and folders of other users can only be made as root");
        QVERIFY(place != "chain" || QFile::link(link, shared + "/a"));
        // The FIFO's owner reading from it.
        const int reader
            = place == "fifo" ? ::open(QFile::encodeName(link).constData(), O_RDONLY | O_NONBLOCK) : -1;
        const QString path = place == "name" || place == "folder" || entry ? link
            : place == "up"                                                ? link + "/../c.vcf"
            : place == "folder up"                                         ? link + "/.."
                                   : shared + (place == "chain" ? "/a" : "/l") + "/c.vcf";
        QString failure;
        if (place.startsWith("folder") || place == "file held") {
            const HeldFolder held
                = place == "file held" ? HeldFolder::open(shared) : MadeFolders::makeHeld(path, &failure);
            OutputFile out(held, place == "file held" ? "l" : "c.vcf");
            if (held.isValid() && !writeInChunks(out, "new", 3))
                failure = out.failure();
        } else {
            OutputFile out(path);
            if (!writeInChunks(out, "new", 3))
                failure = out.failure();
        }
        const QByteArray expected = ownerText.isEmpty() ? "new" : entry ? "theirs" : "the user's own";
        if (place == "fifo") {
            char got[16];
            const ssize_t n = ::read(reader, got, sizeof got);
            ::close(reader);
            QCOMPARE(QByteArray(got, int(std::max<ssize_t>(n, 0))), QByteArray()); // only refused here
        } else {
            QCOMPARE(readAll(entry ? link : mine + "/c.vcf"), expected);
        }
        QCOMPARE(entries(mine), up ? (QStringList { "below", "c.vcf" }) : QStringList { "c.vcf" });
        QCOMPARE(entries(shared), place == "chain" ? (QStringList { "a", "l" }) : QStringList { "l" });
        QVERIFY2(failure.isEmpty() == ownerText.isEmpty(), qPrintable(failure));
        if (ownerText.isEmpty())
            return;
        const QString refused = QString("the %1 %2 stands in a folder everyone may write into and belongs to "
                                        "another user (%3): it is not %4, and nothing was written")
                                    .arg(place == "fifo" ? "FIFO"
                                            : entry      ? "file"
                                                         : "link",
                                        link, ownerText, entry ? "opened" : "followed");
        QCOMPARE(failure,
            QString(place.startsWith("folder") ? "Cannot make the folder %1: %2." : "Cannot write %1: %2")
                .arg(path, refused));
    }

    // A FIFO the user names is written as a pipe is, once a program reads from it. A reader started
    // along with the program (`... fifo & gzip < fifo`) is waited for a few seconds and gets the whole
    // output; with none, the write fails by then, saying so, rather than waiting for one without end.
    void fifoWaitsAWhileForItsReader()
    {
        const QString path = TestEnv::tempDir() + "/cards.vcf";
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QElapsedTimer timer;
        timer.start();
        OutputFile out(path);
        QVERIFY(!writeInChunks(out, "new", 3));
        QVERIFY2(
            timer.elapsed() >= 2500 && timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(out.failure(),
            QString("Cannot write %1: it is a FIFO that no program reads from, and nothing was written")
                .arg(path));
        QByteArray got;
        std::unique_ptr<QThread> lateReader(QThread::create([&path, &got] {
            QThread::msleep(700);
            QFile fifo(path);
            if (fifo.open(QIODevice::ReadOnly))
                got = fifo.readAll();
        }));
        lateReader->start();
        OutputFile read(path);
        QVERIFY2(writeInChunks(read, content(3000000), 100000), qPrintable(read.failure()));
        QVERIFY(lateReader->wait(10000));
        QCOMPARE(got.size(), qsizetype(3000000));
        QVERIFY(got == content(3000000));
        QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    }

    // A cancel of the task stops a copy within a block, however large the file, whether the kernel
    // copies it or it goes through the program (from a pipe); nothing of it is left.
    void copyStopsWithinABlockOfACancel_data()
    {
        QTest::addColumn<bool>("fromPipe");
        QTest::newRow("kernel copy") << false;
        QTest::newRow("read and written") << true;
    }
    void copyStopsWithinABlockOfACancel()
    {
        QFETCH(bool, fromPipe);
        const QString dir = TestEnv::tempDir();
        constexpr qint64 size = 64 * 1024 * 1024;
        writeFile(dir + "/big.bin", content(size));
        int fds[2] = { -1, -1 };
        std::unique_ptr<QThread> feeder;
        if (fromPipe) {
            ::signal(SIGPIPE, SIG_IGN); // the feeder's write after the copy stopped reading
            QVERIFY(::pipe(fds) == 0);
            feeder.reset(QThread::create([&] {
                const QByteArray bytes = readAll(dir + "/big.bin");
                for (qsizetype at = 0; at < bytes.size();) {
                    const ssize_t n = ::write(fds[1], bytes.constData() + at, size_t(bytes.size() - at));
                    if (n <= 0)
                        break;
                    at += n;
                }
                ::close(fds[1]);
            }));
            feeder->start();
        }
        const int in = fromPipe ? fds[0] : ::open(QFile::encodeName(dir + "/big.bin").constData(), O_RDONLY);
        auto token = std::make_shared<TaskCancel::Token>();
        const TaskCancel::Scope scope(token);
        qint64 cancelledAt = -1, lastTold = 0;
        OutputFile out(dir + "/copy.bin");
        QVERIFY(out.open(QIODevice::WriteOnly));
        const bool copied = out.copyFrom(in, [&](qint64 done) {
            lastTold = done;
            if (cancelledAt < 0 && done >= 2 * 1024 * 1024) {
                cancelledAt = done; // the cancel comes from the dialog's thread while a block is copied
                token->cancelled = true;
            }
            return true;
        });
        ::close(in);
        if (feeder)
            QVERIFY(feeder->wait(10000));
        QVERIFY(!copied);
        QCOMPARE(out.error(), ECANCELED);
        QCOMPARE(lastTold, cancelledAt); // not a block more
        QVERIFY(cancelledAt <= 16 * 1024 * 1024);
        out.discard();
        QCOMPARE(entries(dir), QStringList { "big.bin" });
    }

    // A read-only file in a writable folder is refused, not replaced and not removed.
    void readOnlyFileStays()
    {
        // Outside HOME, so that an unprivileged user reaches the folder.
        QTemporaryDir shared(QDir::tempPath() + "/qm-readonly-XXXXXX");
        const QString dir = shared.path();
        ::chmod(QFile::encodeName(dir).constData(), 0777);
        const QString path = dir + "/notes.txt";
        writeFile(path, "keep me");
        ::chmod(QFile::encodeName(path).constData(), 0444);
        const bool root = geteuid() == 0;
        // As root, write as nobody so the file's mode counts.
        if (root && ::seteuid(65534) != 0)
            QSKIP("cannot act as an unprivileged user");
        OutputFile out(path);
        const bool ok = writeInChunks(out, "new", 3);
        if (root)
            QVERIFY(::seteuid(0) == 0);
        QVERIFY(!ok);
        QCOMPARE(out.failure(), QString("Cannot write %1: Permission denied").arg(path));
        QCOMPARE(readAll(path), QByteArray("keep me"));
        QCOMPARE(entries(dir), QStringList { "notes.txt" });
    }

    void discardLeavesNothing()
    {
        const QString dir = TestEnv::tempDir();
        {
            OutputFile out(dir + "/never.txt");
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(content(600000));
        }
        QCOMPARE(entries(dir), QStringList());
    }

    void copyKeepsTargetOnFailure()
    {
        const QString dir = TestEnv::tempDir();
        writeFile(dir + "/from.bin", content(2000000));
        writeFile(dir + "/to.bin", "old");
        QString error;
        QVERIFY2(OutputFile::copy(dir + "/from.bin", dir + "/copy.bin", &error), qPrintable(error));
        QCOMPARE(readAll(dir + "/copy.bin"), content(2000000));
        {
            FailingDisk::SizeLimit guard(500000);
            QVERIFY(!OutputFile::copy(dir + "/from.bin", dir + "/to.bin", &error));
        }
        QCOMPARE(error, QString("Cannot write %1: File too large").arg(dir + "/to.bin"));
        QCOMPARE(readAll(dir + "/to.bin"), QByteArray("old"));
        QVERIFY(!OutputFile::copy(dir + "/absent", dir + "/to.bin", &error));
        QCOMPARE(error, QString("Cannot read %1: No such file or directory").arg(dir + "/absent"));
        QCOMPARE(entries(dir).size(), 3);
    }

    void temporaryNeverWiderThanItsFile_data()
    {
        QTest::addColumn<int>("before"); // the mode of the file replaced; 0: none
        QTest::addColumn<int>("mode"); // given with setMode(); 0: none
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("made"); // the temporary's mode when made
        QTest::addColumn<int>("kept"); // the file's in the end
        QTest::addColumn<int>("owner"); // of the file replaced; -1: this user
        QTest::newRow("replacing a private file") << 0600 << 0 << 022 << 0600 << 0600 << -1;
        QTest::newRow("a new private copy") << 0 << 0600 << 0 << 0600 << 0600 << -1;
        // Its mode is not this user's to give (run as root, a set-user-ID one would become root's).
        QTest::newRow("another user's file") << 04777 << 0 << 022 << 0644 << 0644 << 65534;
    }
    // Another user never opens a temporary the file it becomes would keep from them.
    void temporaryNeverWiderThanItsFile()
    {
        QFETCH(int, before);
        QFETCH(int, owner);
        QFETCH(int, mode);
        QFETCH(int, umask);
        QFETCH(int, made);
        QFETCH(int, kept);
        const QString path = TestEnv::tempDir() + "/cards.vcf";
        if (before != 0) {
            writeFile(path, "old");
            if (owner >= 0 && ::chown(QFile::encodeName(path).constData(), uid_t(owner), gid_t(-1)) != 0)
                QSKIP("Cannot give a file to another user here.");
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
        }
        const mode_t oldMask = ::umask(mode_t(umask));
        const OutputFile::CreateCall create = OutputFile::setCreateCall(createNoting);
        OutputFile out(path);
        out.setMode(mode_t(mode));
        const bool ok = writeInChunks(out, "new", 3);
        OutputFile::setCreateCall(create);
        ::umask(oldMask);
        QVERIFY2(ok, qPrintable(out.failure()));
        QCOMPARE(int(g_madeWith), made);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), kept);
    }

    void heldFolderMovedGetsNothing_data()
    {
        QTest::addColumn<bool>("beforeOpen"); // else before the commit
        QTest::addColumn<bool>("link"); // a link to another folder put in its place
        QTest::newRow("swapped for a link before the open") << true << true;
        QTest::newRow("swapped for a link before the commit") << false << true;
        QTest::newRow("moved away before the commit") << false << false;
    }
    // A file written into a folder held is put in place only while the folder still stands where
    // it was reached: nothing reaches what a link put there leads to, and nothing is left.
    void heldFolderMovedGetsNothing()
    {
        QFETCH(bool, beforeOpen);
        QFETCH(bool, link);
        const QString root = TestEnv::tempDir(), folder = root + "/made", away = root + "/away",
                      outside = TestEnv::tempDir();
        QVERIFY(QDir().mkdir(folder));
        OutputFile out(HeldFolder::open(folder), "page.html");
        const auto swap
            = [&] { return QFile::rename(folder, away) && (!link || QFile::link(outside, folder)); };
        QVERIFY(!beforeOpen || swap());
        const bool opened = out.open(QIODevice::WriteOnly);
        QCOMPARE(opened, !beforeOpen);
        QVERIFY(beforeOpen || (out.write("page") == 4 && swap()));
        QVERIFY(!out.commit());
        QVERIFY2(out.failure()
                == QString("Cannot write %1/page.html: the folder %1 was moved or replaced while "
                           "it was written into")
                       .arg(folder),
            qPrintable(out.failure()));
        QCOMPARE(entries(outside), QStringList());
        QCOMPARE(entries(away), QStringList());
    }

    void keepStandingReplacesNothing_data()
    {
        QTest::addColumn<QString>("disk"); // a desktop disk the folder is on; "": the test's own
        QTest::addColumn<QString>("stood"); // at the name before the open; "late": appears before the commit
        QTest::addColumn<QString>("placed");
        QTest::addColumn<bool>("kept");
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "IMG_0001.JPG" << false;
        QTest::newRow("the user's file with the very bytes") << ""
                                                             << "same"
                                                             << "IMG_0001.JPG" << true;
        QTest::newRow("another file") << ""
                                      << "other"
                                      << "IMG_0001(2).JPG" << false;
        QTest::newRow("another file, and the very bytes at the first number") << ""
                                                                              << "other, same(2)"
                                                                              << "IMG_0001(2).JPG" << true;
        QTest::newRow("another file, and others at the first numbers") << ""
                                                                       << "other, other(2), other(3)"
                                                                       << "IMG_0001(4).JPG" << false;
        QTest::newRow("the very bytes in a link") << ""
                                                  << "link"
                                                  << "IMG_0001(2).JPG" << false;
        QTest::newRow("a FIFO") << ""
                                << "fifo"
                                << "IMG_0001(2).JPG" << false;
        QTest::newRow("a folder") << ""
                                  << "folder"
                                  << "IMG_0001(2).JPG" << false;
        QTest::newRow("another file made while it is written") << ""
                                                               << "late"
                                                               << "IMG_0001(2).JPG" << false;
        QTest::newRow("FAT: another file made while it is written") << "fat"
                                                                    << "late"
                                                                    << "IMG_0001(2).JPG" << false;
        QTest::newRow("FAT: the very bytes") << "fat"
                                             << "same"
                                             << "IMG_0001.JPG" << true;
        QTest::newRow("exFAT: another file") << "exfat"
                                             << "other"
                                             << "IMG_0001(2).JPG" << false;
        QTest::newRow("NTFS: another file made while it is written") << "ntfs"
                                                                     << "late"
                                                                     << "IMG_0001(2).JPG" << false;
    }
    // With setKeepStanding nothing that stands at the name is replaced, even what appears while the
    // file is written: the user's file with the very bytes is left as it is (no other entry stays),
    // else the file goes at the first free "stem(n).ext".
    void keepStandingReplacesNothing()
    {
        QFETCH(QString, disk);
        QFETCH(QString, stood);
        QFETCH(QString, placed);
        QFETCH(bool, kept);
        std::optional<ForeignDisk> mounted;
        if (!disk.isEmpty()) {
            mounted.emplace(ForeignDisk::kindOf(disk));
            if (!mounted->isMounted())
                QSKIP(qPrintable(mounted->whyNot()));
        }
        const QString dir = mounted ? mounted->path() : TestEnv::tempDir(), name = "IMG_0001.JPG";
        const QString path = dir + "/" + name, other = TestEnv::tempDir() + "/elsewhere";
        const QByteArray bytes = content(3000000);
        const QDateTime old(QDate(2020, 1, 1), QTime(), Qt::UTC);
        const auto put = [&](const QString& at, const QByteArray& what) {
            writeFile(at, what);
            QFile f(at);
            QVERIFY(f.open(QIODevice::Append) && f.setFileTime(old, QFileDevice::FileModificationTime));
        };
        for (const QString& each : stood.split(", ", Qt::SkipEmptyParts)) {
            const QString at
                = each.endsWith(")") ? dir + "/IMG_0001" + each.mid(each.indexOf('(')) + ".JPG" : path;
            if (each.startsWith("same"))
                put(at, bytes);
            else if (each.startsWith("other"))
                put(at, "mine");
            else if (each == "link")
                QVERIFY(QFile::link(other, path));
            else if (each == "fifo")
                QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            else if (each == "folder")
                QVERIFY(QDir().mkdir(path));
        }
        if (stood == "link")
            put(other, bytes);
        const QStringList before = entries(dir);
        OutputFile out(HeldFolder::open(dir), name);
        out.setKeepStanding(true);
        QVERIFY2(out.open(QIODevice::WriteOnly), qPrintable(out.failure()));
        QCOMPARE(out.write(bytes), bytes.size());
        if (stood == "late")
            put(path, "mine");
        QVERIFY2(out.commit(), qPrintable(out.failure()));
        QCOMPARE(out.placedName(), placed);
        QCOMPARE(out.keptStanding(), kept);
        QCOMPARE(out.besideStanding(), placed != name && !kept);
        QCOMPARE(readAll(dir + "/" + placed), bytes);
        // FAT keeps no time the test can set.
        QVERIFY(!disk.isEmpty() || (QFileInfo(dir + "/" + placed).lastModified() == old) == kept);
        if (stood.startsWith("other") || stood == "late")
            QCOMPARE(readAll(path), QByteArray("mine"));
        QCOMPARE(QFileInfo(path).isSymLink(), stood == "link");
        QStringList after = before;
        if (stood == "late")
            after << name;
        if (!kept)
            after << placed;
        after.sort();
        QCOMPARE(entries(dir), after);
    }

    void shortFormForANameNoFittingChanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refuseAll");
        QTest::addColumn<QString>("placed"); // empty: refused, nothing written
        const QString longName = QString(250, 'a') + ".txt";
        QTest::newRow("254 bytes, plain")
            << longName << false << QString(27, 'a') + nameMark(longName) + ".txt";
        QTest::newRow("short and plain: no matter of its name") << "plain.txt" << true << "";
        QTest::newRow("long, refused in every form") << longName << true << "";
    }
    // A name the disk refuses that fitting does not change gets the cut, marked form; where the disk
    // takes none, the failure is the name's (that file alone is left out), unless the name is short
    // and plain: then it is the disk's. Nothing is left either way.
    void shortFormForANameNoFittingChanges()
    {
        QFETCH(QString, name);
        QFETCH(bool, refuseAll);
        QFETCH(QString, placed);
        const QString dir = TestEnv::tempDir();
        g_refuseAll = refuseAll;
        OutputFile out(HeldFolder::open(dir), name);
        out.setFitName(true);
        out.setKeepStanding(true);
        const OutputFile::CreateCall create = OutputFile::setCreateCall(createRefusingLong);
        const bool ok = writeInChunks(out, "bytes", 5);
        OutputFile::setCreateCall(create);
        g_refuseAll = false;
        QCOMPARE(ok, !placed.isEmpty());
        QCOMPARE(out.nameRefused(), placed.isEmpty() && name.size() > 64);
        QCOMPARE(entries(dir), placed.isEmpty() ? QStringList() : QStringList { placed });
        QVERIFY(placed.isEmpty() || placed.toUtf8().size() <= 64);
        QVERIFY2(ok || out.failure().startsWith("Cannot write " + dir + "/" + name + ": "),
            qPrintable(out.failure()));
    }

    // A real full disk, where the test may mount one.
    void fullDisk()
    {
        FailingDisk::SmallDisk disk(64 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString path = disk.path() + "/out.bin";
        writeFile(path, "old");
        OutputFile out(path);
        QVERIFY(!writeInChunks(out, content(200000), 4096));
        QCOMPARE(out.failure(), QString("Cannot write %1: No space left on device").arg(path));
        QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(entries(disk.path()), QStringList { "out.bin" });
    }
};

QTEST_GUILESS_MAIN(TestOutputFile)
#include "TestOutputFile.moc"
