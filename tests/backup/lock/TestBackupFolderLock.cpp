#include "app/IdsTranslator.h"
#include "backup/BackupManifest.h"
#include "backup/MBDBParser.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/lock/BackupLockFile.h"
#include "backup/support/BackupWrites.h"
#include "backup/support/GenBackup.h"
#include "backup/write/BackupWriteNames.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QMap>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Mode = BackupFolderLock::Mode;
Q_DECLARE_METATYPE(BackupFolderLock::Mode)

namespace
{

using Clock = std::chrono::steady_clock;

// Another program, or a file system, as the test plays it: while it lasts, every lock of the folder
// fails with error. A call that would wait is counted, and waits until the end as it would.
struct Contention {
    std::atomic<bool> on { false };
    std::atomic<int> error { 0 };
    Clock::time_point until;
    std::atomic<int> blockingCalls { 0 };
};
Contention contention;

int contendedLock(int fd, int operation)
{
    const int kind = operation & ~LOCK_NB;
    if (kind == LOCK_UN || !contention.on || Clock::now() >= contention.until)
        return ::flock(fd, operation);
    if (!(operation & LOCK_NB)) {
        ++contention.blockingCalls;
        std::this_thread::sleep_until(contention.until);
        return ::flock(fd, operation);
    }
    if (contention.error == EWOULDBLOCK)
        ::flock(fd, LOCK_UN); // a failed change of a lock drops the one held
    errno = contention.error;
    return -1;
}

// A file system without locks (a network mount without them).
int noLocks(int, int)
{
    errno = ENOLCK;
    return -1;
}

QByteArray readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// The start time of a process as the process table gives it (clock ticks after boot).
QByteArray startOf(pid_t pid)
{
    const QByteArray stat = readText(QString("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields[19] : QByteArray("-");
}

QByteArray thisHostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return QByteArray(name);
}

// The text of a lock file as a writer of this program leaves it; a field left out is this host's.
QByteArray lockText(pid_t pid, QByteArray started, QByteArray host = {}, QByteArray machine = {},
    QByteArray boot = {}, QByteArray space = {})
{
    if (host.isEmpty())
        host = thisHostName();
    if (machine.isEmpty())
        machine = readText("/etc/machine-id").trimmed();
    if (boot.isEmpty())
        boot = readText("/proc/sys/kernel/random/boot_id").trimmed();
    char ownSpace[64] = {};
    if (space.isEmpty() && ::readlink("/proc/self/ns/pid", ownSpace, sizeof ownSpace - 1) > 0)
        space = ownSpace;
    return "qmlock 1\nhost " + host + "\nmachine " + machine + "\nboot " + boot + "\nspace " + space
        + "\npid " + QByteArray::number(pid) + "\nstarted " + started + "\n";
}

// A process that ends after ms; reaped (gone for good) or left a zombie by the caller.
pid_t childFor(int ms)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        _exit(0);
    }
    return pid;
}

// One word from one process to another.
struct Pipe {
    int fds[2] = { -1, -1 };
    Pipe() { (void)!::pipe(fds); }
    void say(char word = 'w') { (void)!::write(fds[1], &word, 1); }
    bool hear()
    {
        pollfd p { fds[0], POLLIN, 0 };
        char c;
        return ::poll(&p, 1, 60000) == 1 && ::read(fds[0], &c, 1) == 1;
    }
};

// A taker that comes while this process makes its lock file: it says 'j' once it has judged what
// stands at the name stale and is about to remove it (and then waits for goOn), or else 'w' once
// it holds the folder.
struct RacingTaker {
    Pipe said;
    Pipe goOn;
};
RacingTaker racing;

// Every file of a backup folder with its content, but for the lock file.
QMap<QString, QByteArray> folderContent(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() != BackupLockFile::fileName())
            files.insert(QDir(dir).relativeFilePath(path), readText(path));
    }
    return files;
}

std::mutex logMutex;
QStringList logged;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    logged << text;
}

int loggedCount(const QString& part)
{
    const std::lock_guard<std::mutex> lock(logMutex);
    return int(logged.filter(part).size());
}

// After ms, unless it ends first, clears what stands at the lock file's names: a hold that would
// wait for ever then ends late, and fails on its time instead of stopping the suite.
class Rescue
{
public:
    Rescue(const QString& lock, int ms)
        : m_thread([this, lock, ms] {
            std::unique_lock<std::mutex> guard(m_mutex);
            if (m_ended.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_over; }))
                return;
            ::unlink(QFile::encodeName(lock + ".break").constData());
            ::rmdir(QFile::encodeName(lock + ".break").constData());
            ::unlink(QFile::encodeName(lock).constData());
        })
    {
    }
    ~Rescue()
    {
        {
            const std::lock_guard<std::mutex> guard(m_mutex);
            m_over = true;
        }
        m_ended.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_over = false;
    std::thread m_thread;
};

// The wait for the live holder that the lock file, or a taker's second file ("break"), names.
QString waitNaming(const QString& folder, pid_t pid, const QString& file)
{
    const QString lock = folder + "/" + BackupLockFile::fileName() + (file == "break" ? ".break" : "");
    return QString("Waiting for process %1 on this computer (%2) to finish writing into the backup %3 (as %4 "
                   "says)...")
        .arg(pid)
        .arg(QString::fromUtf8(thisHostName()), folder, lock);
}

} // namespace

class TestBackupFolderLock : public QObject
{
    Q_OBJECT

    IdsTranslator m_english;

    // What stands at path: its kind, and a file's text or a link's target.
    static QByteArray standing(const QString& path)
    {
        struct stat st;
        if (::lstat(QFile::encodeName(path), &st) != 0)
            return "nothing";
        if (S_ISLNK(st.st_mode))
            return "link to " + QFile::encodeName(QFile::symLinkTarget(path));
        if (S_ISREG(st.st_mode))
            return "file " + readText(path);
        return S_ISDIR(st.st_mode) ? "folder" : "other " + QByteArray::number(st.st_mode & S_IFMT);
    }

    // Puts at the lock file's name what kind says; child is a process to reap afterwards, outside
    // a file a link there leads to.
    static void plant(const QString& kind, const QString& lock, pid_t& child, QString& outside)
    {
        const pid_t parent = ::getppid();
        const QString breaker = lock + ".break";
        if (kind == "ended" || kind.endsWith(" breaker")) {
            const pid_t gone = childFor(0);
            ::waitpid(gone, nullptr, 0);
            writeText(lock, lockText(gone, "1"));
            if (kind == "stale breaker")
                writeText(breaker, lockText(gone, "1"));
            else if (kind == "empty breaker")
                writeText(breaker, "");
            else if (kind == "unproven breaker")
                writeText(breaker, lockText(parent, "-"));
            else if (kind == "folder breaker")
                QDir().mkpath(breaker);
            child = kind == "live breaker" ? childFor(1200) : -1;
            if (child > 0)
                writeText(breaker, lockText(child, startOf(child)));
        } else if (kind == "parent, no start time") {
            writeText(lock, lockText(parent, "-"));
        } else if (kind == "first process, no start time") {
            writeText(lock, lockText(1, "-"));
        } else if (kind == "zombie") {
            child = childFor(0);
            writeText(lock, lockText(child, startOf(child)));
            std::this_thread::sleep_for(std::chrono::milliseconds(100)); // ended, not reaped
        } else if (kind == "reused") {
            writeText(lock, lockText(parent, "1"));
        } else if (kind == "rebooted") {
            writeText(
                lock, lockText(parent, startOf(parent), {}, {}, "00000000-0000-0000-0000-000000000000"));
        } else if (kind == "parent") { // a live holder that outlasts the test
            writeText(lock, lockText(parent, startOf(parent)));
        } else if (kind == "own") {
            writeText(lock, lockText(::getpid(), startOf(::getpid())));
        } else if (kind == "live") {
            child = childFor(1200);
            writeText(lock, lockText(child, startOf(child)));
        } else if (kind == "other host") {
            writeText(lock, lockText(4242, "1", "elsewhere.example", QByteArray(32, '0')));
        } else if (kind == "other space") {
            writeText(lock, lockText(parent, startOf(parent), {}, {}, {}, "pid:[1]"));
        } else if (kind == "other machine") {
            writeText(lock, lockText(parent, startOf(parent), {}, QByteArray(32, '0')));
        } else if (kind == "empty") {
            writeText(lock, "");
        } else if (kind == "garbage") {
            writeText(lock, "\x01\x02 not a lock\n");
        } else if (kind == "link") {
            outside = TestEnv::tempDir() + "/outside.txt";
            writeText(outside, lockText(parent, startOf(parent)));
            QFile::link(outside, lock);
        } else if (kind == "fifo") {
            ::mkfifo(QFile::encodeName(lock), 0644);
        } else if (kind == "folder") {
            QDir().mkpath(lock);
            writeText(lock + "/kept.txt", "kept");
        } else if (kind == "ended maker's temporary") {
            const pid_t gone = childFor(0);
            ::waitpid(gone, nullptr, 0);
            writeText(lock + QString(".%1.1f.tmp").arg(gone), lockText(gone, "1"));
        } else if (kind == "live maker's temporary") {
            writeText(lock + QString(".%1.2e.tmp").arg(parent), lockText(parent, startOf(parent)));
        } else if (kind.startsWith("judged while made")) {
            // Set here, run once this process makes its own file: the taker judges what it finds
            // there, is stopped before it removes it, and goes on once this process holds it. Without
            // hard links the file is made at the name and filled there: the taker finds it empty.
            racing = RacingTaker(); // a word an earlier row's taker said late is not this one's
            const bool noLinks = kind.endsWith("without hard links");
            if (noLinks)
                BackupWriteNames::setLinkCall([](int, const char*, int, const char*, int) {
                    errno = EPERM;
                    return -1;
                });
            BackupLockFile::setBeforePlace([&child, lock, noLinks] {
                if (child != -1 || (noLinks && !QFileInfo::exists(lock)))
                    return; // only once, and never in the taker
                child = ::fork();
                if (child == 0) {
                    BackupLockFile::setBeforeRemove([] { racing.said.say('j'), racing.goOn.hear(); });
                    _exit(takeAlone(QFileInfo(lock).absolutePath(), &racing.said, nullptr));
                }
                racing.said.hear();
            });
        } else if (kind == "remade as it is taken over") {
            // A file that names nobody, made anew by a live maker between the taker's last look at it
            // and its removal: the new one stays, and is waited for.
            writeText(lock, "");
            BackupLockFile::setBeforeRemove([&child, lock] {
                if (child != -1)
                    return;
                child = childFor(1200);
                writeText(lock + ".new", lockText(child, startOf(child)));
                ::rename(QFile::encodeName(lock + ".new").constData(), QFile::encodeName(lock).constData());
            });
        } else if (kind == "unreadable") {
            writeText(lock, lockText(parent, startOf(parent)));
            ::chmod(QFile::encodeName(lock), 0);
        }
    }

    // In a child: takes the lock file (perhaps left stale by a taker before) and holds it alone
    // until release says so, telling holding once it holds it; then lets it go, or with ending
    // stays inside a moment and ends holding it. The exit status: 0, or 5 when another taker was
    // inside, 3 or 4 when it never held it.
    static int takeAlone(const QString& folder, Pipe* holding, Pipe* release, bool ending = false)
    {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const int dirFd = ::open(QFile::encodeName(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        auto* lock = new BackupLockFile(folder);
        // An ending taker never lets go: its file stays.
        std::unique_ptr<BackupLockFile> owned(ending ? nullptr : lock);
        const auto end = Clock::now() + std::chrono::seconds(60);
        BackupLockFile::Result r;
        while ((r = lock->tryTake(dirFd)) == BackupLockFile::Result::Busy && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (r != BackupLockFile::Result::Held)
            return r == BackupLockFile::Result::Busy ? 4 : 3;
        const QByteArray inside = QFile::encodeName(folder + "/inside");
        const int fd = ::open(inside.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return 5;
        ::close(fd);
        if (holding)
            holding->say();
        if (release)
            release->hear();
        if (ending)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::unlink(inside.constData());
        return 0;
    }

    static void open(BackupManifest& m, const QString& password)
    {
        m.readManifestInfo();
        if (!password.isEmpty())
            QVERIFY(m.setPasscode(password));
        m.parseInfo();
    }

    // The write run in a child process that stops before its step-th change inside the backup:
    // it writes to reached there, and goes on once go can be read.
    static pid_t writeStoppedAt(const QString& dir, const QString& password,
        const QList<BackupManifest::WriteRequest>& items, int step, int reached, int go)
    {
        const pid_t pid = ::fork();
        if (pid != 0)
            return pid;
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        int changes = 0;
        BackupWriteNames::setBeforeChange([&] {
            char c = 'r';
            if (++changes == step && ::write(reached, &c, 1) == 1)
                while (::read(go, &c, 1) < 0 && errno == EINTR) { }
        });
        BackupWrites::writeAndExit(dir, password, items);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
    }

    void cleanup()
    {
        contention.on = false;
        BackupFolderLock::setLockCall(::flock);
        BackupFolderLock::setWaitRunner(nullptr);
        BackupLockFile::setBeforePlace(nullptr);
        BackupLockFile::setBeforeRemove(nullptr);
        BackupWriteNames::setBeforeChange(nullptr);
        BackupWriteNames::setLinkCall(::linkat);
        qInstallMessageHandler(nullptr);
    }

    void waitsOnlyForAnotherHolder_data()
    {
        QTest::addColumn<int>("error"); // of every lock while the contention lasts
        QTest::addColumn<int>("lastsMs");
        QTest::addColumn<bool>("heldShared"); // by this thread before the contention starts
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<bool>("cancel"); // the user ends a wait at once
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<int>("cannotLockLines");
        QTest::addColumn<int>("waitLines");
        // A file system that cannot lock: waiting would never end; used without the lock, said once.
        QTest::newRow("no locks, a read")
            << ENOLCK << 3000 << false << Mode::Shared << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("locks not supported, a write")
            << EOPNOTSUPP << 3000 << false << Mode::Exclusive << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("emulated locks refuse a folder opened for reading, a read")
            << EBADF << 3000 << false << Mode::Shared << false << true << 0 << 1000 << 1 << 0;
        QTest::newRow("emulated locks, a write within a read")
            << EBADF << 3000 << true << Mode::Exclusive << false << true << 0 << 1000 << 1 << 0;
        // Another program holds the folder for a while: the wait is said once, after a moment.
        QTest::newRow("busy, a read")
            << int(EWOULDBLOCK) << 900 << false << Mode::Shared << false << true << 900 << 3000 << 0 << 1;
        QTest::newRow("busy, a write")
            << int(EWOULDBLOCK) << 900 << false << Mode::Exclusive << false << true << 900 << 3000 << 0 << 1;
        // The change to exclusive failed and dropped the shared lock; the other program then
        // writes. Cancel takes the shared lock back without blocking, or gives up.
        QTest::newRow("cancelled change from shared to exclusive")
            << int(EWOULDBLOCK) << 3000 << true << Mode::Exclusive << true << false << 0 << 1500 << 0 << 0;
    }

    void waitsOnlyForAnotherHolder()
    {
        QFETCH(int, error);
        QFETCH(int, lastsMs);
        QFETCH(bool, heldShared);
        QFETCH(Mode, mode);
        QFETCH(bool, cancel);
        QFETCH(bool, held);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(int, cannotLockLines);
        QFETCH(int, waitLines);
        const QDir folder(TestEnv::tempDir());
        {
            const std::lock_guard<std::mutex> lock(logMutex);
            logged.clear();
        }
        qInstallMessageHandler(keepMessage);
        BackupFolderLock::setLockCall(contendedLock);
        if (cancel)
            BackupFolderLock::setWaitRunner(
                [](const std::function<QString()>&, const std::function<bool()>&) { return false; });
        std::optional<BackupFolderLock> outer;
        if (heldShared)
            outer.emplace(folder, Mode::Shared);
        contention.error = error;
        contention.blockingCalls = 0;
        contention.until = Clock::now() + std::chrono::milliseconds(lastsMs);
        contention.on = true;
        QElapsedTimer timer;
        timer.start();
        bool wasHeld = false;
        try {
            const BackupFolderLock hold(folder, mode);
            wasHeld = true;
        } catch (const BackupFolderLock::Cancelled&) {
        }
        const qint64 took = timer.elapsed();
        if (wasHeld) {
            const BackupFolderLock again(folder, mode); // nothing more is said of the same folder
        }
        outer.reset();
        QCOMPARE(wasHeld, held);
        QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
        QCOMPARE(contention.blockingCalls.load(), 0);
        QCOMPARE(loggedCount("cannot be locked"), cannotLockLines);
        QCOMPARE(loggedCount(BackupFolderLock::waitText(mode, folder.absolutePath())), waitLines);
    }

    void lockFileKeepsWritesApart_data()
    {
        QTest::addColumn<QString>("planted"); // what stands at the lock file's name as the write starts
        QTest::addColumn<bool>("cancel"); // the user ends a wait at once
        QTest::addColumn<QString>("refused"); // a part of the error, or empty when the write goes on
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<int>("waitLines");
        QTest::addColumn<int>("tookOverLines");
        // Which file's holder the wait names (the lock file or a taker's second file), or empty for
        // the wait that names nobody.
        QTest::addColumn<QString>("waitNames");
        const int still = int(std::chrono::milliseconds(BackupLockFile::kStill).count());
        QTest::newRow("nothing") << "nothing" << false << "" << 0 << 1000 << 0 << 0 << "";
        // A holder of this host that has ended: taken over at once, said in the log.
        QTest::newRow("a process that has ended") << "ended" << false << "" << 0 << 1000 << 0 << 1 << "";
        QTest::newRow("a process that has ended, not yet reaped")
            << "zombie" << false << "" << 0 << 1000 << 0 << 1 << "";
        QTest::newRow("its number now another process's")
            << "reused" << false << "" << 0 << 1000 << 0 << 1 << "";
        QTest::newRow("from before the host started again")
            << "rebooted" << false << "" << 0 << 1000 << 0 << 1 << "";
        QTest::newRow("this process's own, left over") << "own" << false << "" << 0 << 1000 << 0 << 1 << "";
        // A live holder is waited for until it ends, or the user ends the wait; the wait names the
        // process and the file, so that the user can tell one that no longer writes.
        QTest::newRow("a live process") << "live" << false << "" << 1100 << 3000 << 1 << 1 << "lock";
        QTest::newRow("a live process, the wait cancelled")
            << "live" << true << "cancelled" << 0 << 1000 << 0 << 0 << "";
        // A file that gives no start time cannot show that the process with its number made it (any
        // process may have that number now): as one that names nobody.
        QTest::newRow("a live process, no start time")
            << "parent, no start time" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("the first process, no start time")
            << "first process, no start time" << false << "" << still << still + 2000 << 1 << 1 << "";
        // Another host's is never broken: the error names the host and the file.
        QTest::newRow("another host")
            << "other host" << false << "from the computer elsewhere.example (process 4242)" << 0 << 1000 << 0
            << 0 << "";
        QTest::newRow("another host of the same name")
            << "other machine" << false << "from the computer " + QString::fromUtf8(thisHostName()) << 0
            << 1000 << 0 << 0 << "";
        // A process of another process space (a sandbox, a container) cannot be judged from here; it
        // is not another computer.
        QTest::newRow("another process space of this host")
            << "other space" << false
            << QString("from another process space on this computer (a container or sandbox), by its "
                       "process %1")
                   .arg(::getppid())
            << 0 << 1000 << 0 << 0 << "";
        // What names nobody (its maker killed before it filled it in, or nothing this program makes)
        // is taken over once it stays unchanged for a while, never followed or opened.
        QTest::newRow("empty") << "empty" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("garbage") << "garbage" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("a link to a live holder's text")
            << "link" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("a FIFO") << "fifo" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("a folder") << "folder" << false << "is in the way" << still << still + 2000 << 1 << 0
                                  << "";
        // The file one taker of a stale lock file makes while it removes it, left by a taker killed
        // then; one of a live taker is waited for as the lock file's, and judged by the same rule.
        QTest::newRow("a stale file, and a taker's that has ended")
            << "stale breaker" << false << "" << 0 << 1000 << 0 << 1 << "";
        QTest::newRow("a stale file, and a taker's naming nobody")
            << "empty breaker" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("a stale file, and a taker's without a start time")
            << "unproven breaker" << false << "" << still << still + 2000 << 1 << 1 << "";
        QTest::newRow("a stale file, and a live taker's")
            << "live breaker" << false << "" << 1100 << 3000 << 1 << 1 << "break";
        QTest::newRow("a stale file, and a folder at a taker's name")
            << "folder breaker" << false << "is in the way" << still << still + 2000 << 1 << 0 << "";
        // A taker that finds this process's file while it is being made never removes it once it
        // is held: the two never hold the folder at once.
        // What a maker killed before it put its file in place leaves: removed once its maker has
        // ended, kept while it runs.
        QTest::newRow("a temporary of a maker that has ended")
            << "ended maker's temporary" << false << "" << 0 << 1000 << 0 << 0 << "";
        QTest::newRow("a temporary of a live maker")
            << "live maker's temporary" << false << "" << 0 << 1000 << 0 << 0 << "";
        QTest::newRow("a file naming nobody, made anew as it is taken over")
            << "remade as it is taken over" << false << "" << still + 1100 << still + 3000 << 1 << 1 << "";
        QTest::newRow("a taker judging the file while it is made")
            << "judged while made" << false << "" << 0 << 1000 << 0 << 0 << "";
        QTest::newRow("a taker judging the file while it is filled, without hard links")
            << "judged while made, without hard links" << false << "" << still << still + 2000 << 0 << 0
            << "";
        if (::geteuid() != 0) // the superuser reads any file
            QTest::newRow("unreadable")
                << "unreadable" << false << "cannot read" << 0 << 1000 << 0 << 0 << "";
    }

    // On a folder that cannot be locked, a write (or the settling of one) holds the lock file while it
    // goes on: one of a live process of this host is waited for, one of a process that has ended is
    // taken over, another host's is refused by name; none is followed, opened when it is no regular
    // file, or removed by a refused write.
    void lockFileKeepsWritesApart()
    {
        QFETCH(QString, planted);
        QFETCH(bool, cancel);
        QFETCH(QString, refused);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(int, waitLines);
        QFETCH(int, tookOverLines);
        QFETCH(QString, waitNames);
        const QString folder = TestEnv::tempDir();
        const QString lock = folder + "/" + BackupLockFile::fileName();
        {
            const std::lock_guard<std::mutex> guard(logMutex);
            logged.clear();
        }
        qInstallMessageHandler(keepMessage);
        BackupFolderLock::setLockCall(noLocks);
        if (cancel)
            BackupFolderLock::setWaitRunner(
                [](const std::function<QString()>&, const std::function<bool()>&) { return false; });
        pid_t child = -1;
        QString outside;
        plant(planted, lock, child, outside);
        const QByteArray before = standing(lock), outsideBefore = readText(outside);
        QElapsedTimer timer;
        timer.start();
        QString error;
        QByteArray whileHeld;
        try {
            const Rescue rescue(lock, maxMs + 2000);
            const BackupFolderLock hold(QDir(folder), Mode::Exclusive);
            if (planted.startsWith("judged while made")) {
                racing.goOn.say(); // the taker goes on, if it was stopped, while this holds the folder
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            whileHeld = standing(lock); // never opens a FIFO
        } catch (const BackupFolderLock::Cancelled&) {
            error = "cancelled";
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        const qint64 took = timer.elapsed();
        if (child > 0)
            ::waitpid(child, nullptr, 0);
        QVERIFY2(refused.isEmpty() ? error.isEmpty() : error.contains(refused), qPrintable(error));
        QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
        const QString anyone = BackupFolderLock::waitText(Mode::Exclusive, folder);
        QCOMPARE(loggedCount(waitNames.isEmpty() ? anyone : waitNaming(folder, child, waitNames)), waitLines);
        if (!waitNames.isEmpty())
            QCOMPARE(loggedCount(anyone), 0);
        QCOMPARE(loggedCount("Took over the lock file " + lock), tookOverLines);
        QCOMPARE(readText(outside), outsideBefore);
        QCOMPARE(standing(lock + ".break"),
            planted == "folder breaker" ? QByteArray("folder") : QByteArray("nothing"));
        const QString liveTemp = BackupLockFile::fileName() + QString(".%1.2e.tmp").arg(::getppid());
        QCOMPARE(QDir(folder).entryList({ "*.tmp" }, QDir::AllEntries | QDir::Hidden | QDir::System),
            planted == "live maker's temporary" ? QStringList { liveTemp } : QStringList());
        if (!refused.isEmpty()) {
            QCOMPARE(standing(lock), before);
            if (refused != "cancelled")
                QVERIFY2(error.contains(lock), qPrintable(error));
            return;
        }
        QVERIFY2(whileHeld.startsWith("file qmlock 1\n")
                && whileHeld.contains("\npid " + QByteArray::number(::getpid()) + "\n"),
            whileHeld.constData());
        QCOMPARE(standing(lock), QByteArray("nothing"));
    }

    void readOnlyFolderNeverHangs_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("held");
        QTest::newRow("nothing there") << "nothing" << true;
        if (::geteuid() == 0)
            return; // the superuser writes into any folder; it cannot be given one to plant in
        QTest::newRow("a stale file") << "ended" << true;
        QTest::newRow("a file naming nobody") << "empty" << true;
        QTest::newRow("a live holder's, the wait cancelled") << "parent" << false;
    }

    // Where no file can be made, a write fails on its own: its hold (or a settling's) never waits
    // for a lock file it cannot make or take over, but still waits for a live holder's.
    void readOnlyFolderNeverHangs()
    {
        QFETCH(QString, planted);
        QFETCH(bool, held);
        QString folder = "/sys/kernel"; // where not even the superuser makes a file
        if (::geteuid() == 0 && ::access("/sys/kernel", F_OK) != 0)
            QSKIP("no folder here where the superuser cannot make a file");
        if (::geteuid() != 0) {
            folder = TestEnv::tempDir();
            pid_t child = -1;
            QString outside;
            plant(planted, folder + "/" + BackupLockFile::fileName(), child, outside);
            ::chmod(QFile::encodeName(folder), 0555);
        }
        {
            const std::lock_guard<std::mutex> guard(logMutex);
            logged.clear();
        }
        qInstallMessageHandler(keepMessage);
        BackupFolderLock::setLockCall(noLocks);
        // The user waits a little longer than a file naming nobody takes to be taken as stale.
        const auto patience = BackupLockFile::kStill + std::chrono::seconds(1);
        BackupFolderLock::setWaitRunner(
            [patience](const std::function<QString()>&, const std::function<bool()>& tryOnce) {
                for (const auto end = Clock::now() + patience; Clock::now() < end;
                     std::this_thread::sleep_for(std::chrono::milliseconds(10)))
                    if (tryOnce())
                        return true;
                return false;
            });
        QElapsedTimer timer;
        timer.start();
        bool wasHeld = false;
        try {
            const BackupFolderLock hold(QDir(folder), Mode::Exclusive);
            wasHeld = true;
        } catch (const BackupFolderLock::Cancelled&) {
        }
        const qint64 took = timer.elapsed();
        ::chmod(QFile::encodeName(folder), 0755);
        QCOMPARE(wasHeld, held);
        QVERIFY2(took < int(std::chrono::milliseconds(patience).count()) + 1000,
            qPrintable(QString::number(took)));
        QCOMPARE(loggedCount("which takes no new file"), held ? 1 : 0);
    }

    void fullDiskSaysWhy_data()
    {
        QTest::addColumn<bool>("smallDisk"); // a full disk, or else a limit on the size of a file
        QTest::addColumn<QString>("why");
        QTest::newRow("no room left on the disk") << true << "No space left on device";
        QTest::newRow("no file may grow") << false << "File too large";
    }

    // A lock file that cannot be written says why, naming it, and leaves nothing: the write does not
    // go on without it, nor wait for room.
    void fullDiskSaysWhy()
    {
        QFETCH(bool, smallDisk);
        QFETCH(QString, why);
        std::optional<FailingDisk::SmallDisk> disk;
        QString folder = TestEnv::tempDir();
        if (smallDisk) {
            disk.emplace(1024 * 1024);
            if (!disk->isMounted())
                QSKIP(qPrintable(disk->whyNot()));
            folder = disk->path();
            disk->fill();
        }
        BackupFolderLock::setLockCall(noLocks);
        QString error;
        {
            std::optional<FailingDisk::SizeLimit> limit;
            if (!smallDisk)
                limit.emplace(10);
            try {
                const BackupFolderLock hold(QDir(folder), Mode::Exclusive);
            } catch (const std::exception& e) {
                error = QString::fromUtf8(e.what());
            }
        }
        const QString lock = folder + "/" + BackupLockFile::fileName();
        QCOMPARE(error,
            QString("Cannot lock the backup %1 for writing: cannot create %2. %3").arg(folder, lock, why));
        QCOMPARE(standing(lock), QByteArray("nothing"));
    }

    // Takers that find the same stale lock file at once: only one of them holds the folder at a time.
    // Each ends holding it, as a killed writer does, so that the others take over its file in turn.
    // A shared hold a worker took and handed over counts as this thread's: a write of this thread
    // within it is granted at once, and once the hold ends nothing of it stays for another thread.
    void aHoldHandedOverCountsForItsNewThread()
    {
        const QDir folder(TestEnv::tempDir());
        // A wait would be a fault here: it ends at once, cancelled.
        BackupFolderLock::setWaitRunner([](const auto&, const auto&) { return false; });
        std::unique_ptr<BackupFolderLock> hold;
        std::thread([&] { hold = std::make_unique<BackupFolderLock>(folder, Mode::Shared); }).join();
        hold->handOverToThisThread();
        auto writeHere = [&folder] {
            try {
                const BackupFolderLock write(folder, Mode::Exclusive);
                return true;
            } catch (const BackupFolderLock::Cancelled&) {
                return false;
            }
        };
        QVERIFY(writeHere());
        hold.reset();
        bool written = false;
        std::thread([&] { written = writeHere(); }).join();
        QVERIFY(written);
    }

    void staleFileTakenOverByOneAtATime()
    {
        const QString folder = TestEnv::tempDir();
        const pid_t gone = childFor(0);
        ::waitpid(gone, nullptr, 0);
        QVERIFY(writeText(folder + "/" + BackupLockFile::fileName(), lockText(gone, "1")));
        for (int round = 0; round < 10; ++round) {
            int start[2];
            QVERIFY(::pipe(start) == 0);
            std::vector<pid_t> takers;
            for (int i = 0; i < 5; ++i) {
                const pid_t pid = ::fork();
                if (pid == 0) {
                    ::close(start[1]);
                    char c;
                    while (::read(start[0], &c, 1) < 0 && errno == EINTR) { }
                    _exit(takeAlone(folder, nullptr, nullptr, true));
                }
                takers.push_back(pid);
            }
            ::close(start[0]);
            ::close(start[1]); // all start at once
            for (const pid_t pid : takers) {
                int status = 0;
                ::waitpid(pid, &status, 0);
                QVERIFY(WIFEXITED(status));
                QVERIFY2(WEXITSTATUS(status) == 0,
                    WEXITSTATUS(status) == 5 ? "two takers held the folder at once"
                                             : "a taker never held it");
            }
        }
    }

    // A taker stopped between judging a file stale and taking it over, while another takes it over
    // and holds the folder: the first never removes the new holder's file, and holds the folder
    // only once that holder has let it go.
    void lateTakerLeavesTheNewHoldersFile()
    {
        const QString folder = TestEnv::tempDir();
        const pid_t gone = childFor(0);
        ::waitpid(gone, nullptr, 0);
        QVERIFY(writeText(folder + "/" + BackupLockFile::fileName(), lockText(gone, "1")));
        Pipe judged, goOn, holding, release;
        const pid_t late = ::fork();
        if (late == 0) {
            bool first = true;
            BackupLockFile::setBeforeTakeOver([&] {
                if (std::exchange(first, false))
                    judged.say(), goOn.hear();
            });
            _exit(takeAlone(folder, nullptr, nullptr));
        }
        QVERIFY(judged.hear());
        const pid_t early = ::fork();
        if (early == 0)
            _exit(takeAlone(folder, &holding, &release));
        QVERIFY(holding.hear());
        goOn.say();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the late taker tries meanwhile
        release.say();
        int lateStatus = 0, earlyStatus = 0;
        ::waitpid(early, &earlyStatus, 0);
        ::waitpid(late, &lateStatus, 0);
        QCOMPARE(WEXITSTATUS(earlyStatus), 0);
        QVERIFY2(WEXITSTATUS(lateStatus) == 0,
            WEXITSTATUS(lateStatus) == 5 ? "both takers held the folder at once"
                                         : "the late taker never held it");
        QCOMPARE(standing(folder + "/" + BackupLockFile::fileName()), QByteArray("nothing"));
    }

    void openingWaitsForTheWriter_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("step"); // the change of the write before which the open happens
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("Manifest.db, files staged") << QStringList {} << "" << 3;
        QTest::newRow("Manifest.db, in the commit") << QStringList {} << "" << 7;
        QTest::newRow("Manifest.db encrypted, files staged") << encrypted << "pw" << 3;
        QTest::newRow("Manifest.db encrypted, in the commit") << encrypted << "pw" << 7;
        QTest::newRow("Manifest.mbdb, in the commit") << QStringList { "--layout", "mbdb" } << "" << 7;
    }

    // A backup on a folder that cannot be locked is opened while another process writes into it:
    // the open never settles the record of that write as one left by a stopped run, it waits for
    // the write to end, and the write lands whole.
    void openingWaitsForTheWriter()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(int, step);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const QString source = TestEnv::tempDir() + "/sms.db";
        QVERIFY(writeText(source, QByteArray(30000, 'S')));
        const QList<BackupManifest::WriteRequest> items {
            { "HomeDomain", source, "Library/SMS/sms.db", true, true },
        };
        BackupFolderLock::setLockCall(noLocks);
        int reached[2], go[2];
        QVERIFY(::pipe(reached) == 0 && ::pipe(go) == 0);
        const pid_t writer = writeStoppedAt(dir, password, items, step, reached[1], go[0]);
        ::close(reached[1]);
        ::close(go[0]);
        pollfd wait { reached[0], POLLIN, 0 };
        char c = 0;
        QVERIFY(::poll(&wait, 1, 60000) == 1 && ::read(reached[0], &c, 1) == 1);
        QVERIFY(QFileInfo::exists(dir + "/Manifest.qmwrite"));
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            (void)!::write(go[1], "g", 1);
        });
        QElapsedTimer timer;
        timer.start();
        {
            BackupManifest m(dir);
            open(m, password);
        }
        const qint64 took = timer.elapsed();
        release.join();
        int status = 0;
        ::waitpid(writer, &status, 0);
        ::close(reached[0]);
        ::close(go[1]);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the write failed");
        QVERIFY2(took >= 1400, qPrintable(QString::number(took)));
        BackupManifest m(dir);
        open(m, password);
        const BackupManifest::_FileNode* node = m.findNode("HomeDomain", "Library/SMS/sms.db");
        QVERIFY(node && node->item.isFile());
        const QString out = TestEnv::tempDir() + "/read-back.db";
        m.copyFile(node, out, nullptr, nullptr);
        QCOMPARE(readText(out), readText(source));
        QVERIFY(!QFileInfo::exists(dir + "/Manifest.qmwrite"));
        QCOMPARE(standing(dir + "/" + BackupLockFile::fileName()), QByteArray("nothing"));
    }

    void writeWhoseLockFileWasTakenFails_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("step"); // the change of the write before which the lock file goes
        QTest::addColumn<bool>("replaced"); // by another's, or else only removed
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        QTest::newRow("Manifest.db, removed before the record") << QStringList {} << "" << 1 << false;
        QTest::newRow("Manifest.db, replaced, files staged") << QStringList {} << "" << 3 << true;
        QTest::newRow("Manifest.db encrypted, replaced before the sixth change")
            << encrypted << "pw" << 6 << true;
        QTest::newRow("Manifest.mbdb, removed before the sixth change")
            << QStringList { "--layout", "mbdb" } << "" << 6 << false;
    }

    // On a folder that cannot be locked, a write whose lock file another program removed or replaced
    // meanwhile (another write may be under way) is not committed: it is undone, the backup stays
    // as it was, and the error says why. Another's file at the name stays.
    void writeWhoseLockFileWasTakenFails()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        QFETCH(int, step);
        QFETCH(bool, replaced);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const QString lock = dir + "/" + BackupLockFile::fileName();
        const QList<BackupManifest::WriteRequest> items = BackupWrites::restoreLike();
        BackupFolderLock::setLockCall(noLocks);
        qInstallMessageHandler(keepMessage);
        const QMap<QString, QByteArray> before = folderContent(dir);
        const QByteArray another = lockText(::getppid(), startOf(::getppid()));
        int changes = 0;
        BackupWriteNames::setBeforeChange([&] {
            if (++changes == step && ::unlink(QFile::encodeName(lock)) == 0 && replaced)
                writeText(lock, another);
        });
        QString error;
        try {
            BackupManifest m(dir);
            open(m, password);
            m.writeFilesThrow(items, nullptr, nullptr);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        BackupWriteNames::setBeforeChange(nullptr);
        QVERIFY2(changes >= step, "the write ended before the lock file went");
        QCOMPARE(error,
            QString("Another program removed or replaced the lock file %1 while this write was under way: "
                    "nothing was written.")
                .arg(lock));
        QCOMPARE(folderContent(dir), before);
        QCOMPARE(standing(lock), replaced ? "file " + another : QByteArray("nothing"));
        ::unlink(QFile::encodeName(lock));
    }
};

QTEST_GUILESS_MAIN(TestBackupFolderLock)
#include "TestBackupFolderLock.moc"
