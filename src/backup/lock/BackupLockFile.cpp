#include "backup/lock/BackupLockFile.h"

#include "backup/write/BackupWriteNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

const char* const kLockName = "Manifest.qmwrite.lock";
// Made by one taker of a stale lock file at a time, for the moment of its removal.
const char* const kBreakName = "Manifest.qmwrite.lock.break";
const QByteArray kFirstLine = "qmlock 1";
// A live holder is looked at again only after this, not at every poll of a wait.
constexpr auto kRecheck = std::chrono::milliseconds(50);
constexpr qint64 kMaxRead = 4096;

// ---- system calls, again when a signal interrupts them

int openNew(int dirFd, const char* name)
{
    int fd;
    do
        fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray readSome(int fd, int& error)
{
    QByteArray out(kMaxRead, Qt::Uninitialized);
    qint64 done = 0;
    while (done < kMaxRead) {
        const ssize_t n = ::read(fd, out.data() + done, size_t(kMaxRead - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        done += n;
    }
    out.truncate(done);
    return out;
}

QByteArray readFile(const QByteArray& path)
{
    int fd;
    do
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return QByteArray();
    int error = 0;
    const QByteArray bytes = readSome(fd, error);
    ::close(fd);
    return bytes;
}

// On the disk, where the file system can tell; one that cannot sync has nothing to say.
bool synced(int fd)
{
    int r;
    do
        r = ::fsync(fd);
    while (r != 0 && errno == EINTR);
    return r == 0 || errno == EINVAL || errno == ENOSYS || errno == EROFS;
}

bool isUnwritable(int error)
{
    return error == EACCES || error == EROFS || error == EPERM;
}

// ---- who holds a file

// This host as the files name it: a host can change its name, not its machine id; a process's
// number and start time count only until the host starts again, and only among the processes of
// one process space (a sandbox, a container has its own).
struct Host {
    QByteArray name;
    QByteArray machine;
    QByteArray boot;
    QByteArray space;
};

const Host& thisHost()
{
    static const Host host = [] {
        Host h;
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) == 0)
            h.name = QByteArray(name).trimmed();
        h.machine = readFile("/etc/machine-id").trimmed();
        if (h.machine.isEmpty())
            h.machine = readFile("/var/lib/dbus/machine-id").trimmed();
        h.boot = readFile("/proc/sys/kernel/random/boot_id").trimmed();
        char space[64] = {};
        if (::readlink("/proc/self/ns/pid", space, sizeof space - 1) > 0)
            h.space = QByteArray(space);
        return h;
    }();
    return host;
}

// The state letter and start time (clock ticks after boot) of a process; false when it has none.
bool processStat(qint64 pid, char& state, QByteArray& started)
{
    const QByteArray stat = readFile("/proc/" + QByteArray::number(pid) + "/stat");
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 20 || fields[0].isEmpty())
        return false;
    state = fields[0][0];
    started = fields[19];
    return true;
}

QByteArray ownText()
{
    const Host& h = thisHost();
    char state = 0;
    QByteArray started;
    if (!processStat(::getpid(), state, started))
        started = "-";
    auto field = [](const QByteArray& v) { return v.isEmpty() ? QByteArray("-") : v; };
    return kFirstLine + "\nhost " + field(h.name) + "\nmachine " + field(h.machine) + "\nboot "
        + field(h.boot) + "\nspace " + field(h.space) + "\npid " + QByteArray::number(qint64(::getpid()))
        + "\nstarted " + started + '\n';
}

struct Holder {
    QByteArray host, machine, boot, space, started;
    qint64 pid = 0;
    bool named = false; // the file is this program's and names a process

    explicit Holder(const BackupLockFile::Found& f)
    {
        const QList<QByteArray> lines = f.content.split('\n');
        if (!S_ISREG(f.type) || lines.isEmpty() || lines[0] != kFirstLine)
            return;
        for (const QByteArray& line : lines) {
            const int gap = line.indexOf(' ');
            const QByteArray key = line.left(gap), value = line.mid(gap + 1);
            QByteArray* field = key == "host" ? &host
                : key == "machine"            ? &machine
                : key == "boot"               ? &boot
                : key == "space"              ? &space
                : key == "started"            ? &started
                                              : nullptr;
            if (field)
                *field = value == "-" ? QByteArray() : value;
            else if (key == "pid")
                pid = value.toLongLong();
        }
        named = pid > 0 && !host.isEmpty();
    }

    bool onThisHost() const
    {
        const Host& h = thisHost();
        if (!machine.isEmpty() && !h.machine.isEmpty())
            return machine == h.machine;
        return host == h.name;
    }

    QByteArray describe() const { return "process " + QByteArray::number(pid) + " on " + host; }
};

// Unproven: the file names a process of this host that runs, but gives no start time to show that
// this process made it (any process may have the number now): judged as a file that names nobody.
enum class Liveness { Live, Gone, OtherHost, OtherSpace, Unproven, Nobody };

// Whether this host gives the start times of its processes at all; where it does not, a file
// cannot give one either, and a process with its number is taken for its maker.
bool startTimesKnown()
{
    static const bool known = [] {
        char state = 0;
        QByteArray started;
        return processStat(::getpid(), state, started);
    }();
    return known;
}

// A holder of this host runs while its number belongs to a process that started when it did. A
// zombie has ended. This process holds a folder's file through one object only: one naming it that this
// process finds is left from a hold whose file could not be removed.
Liveness livenessOf(const Holder& holder)
{
    if (!holder.named)
        return Liveness::Nobody;
    if (!holder.onThisHost())
        return Liveness::OtherHost;
    if (!holder.boot.isEmpty() && !thisHost().boot.isEmpty() && holder.boot != thisHost().boot)
        return Liveness::Gone;
    // The number of a process of another process space tells nothing here.
    if (!holder.space.isEmpty() && !thisHost().space.isEmpty() && holder.space != thisHost().space)
        return Liveness::OtherSpace;
    if (holder.pid == ::getpid())
        return Liveness::Gone;
    const bool unproven = holder.started.isEmpty() && startTimesKnown();
    char state = 0;
    QByteArray started;
    if (processStat(holder.pid, state, started)) {
        if (state == 'Z' || state == 'X')
            return Liveness::Gone;
        if (unproven)
            return Liveness::Unproven;
        return holder.started.isEmpty() || holder.started == started ? Liveness::Live : Liveness::Gone;
    }
    // Not in the table as this process sees it (another user's, hidden): a number in use is taken
    // for the holder when nothing here can tell otherwise.
    if (::kill(pid_t(holder.pid), 0) != 0 && errno == ESRCH)
        return Liveness::Gone;
    return unproven ? Liveness::Unproven : Liveness::Live;
}

// Whether anything stands at name; what it is, judge() looks at.
bool standsAt(int dirFd, const char* name)
{
    struct stat st;
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// What stands at name, never through a link, never opening what is not a regular file.
BackupLockFile::Found look(int dirFd, const char* name, int tries = 3)
{
    BackupLockFile::Found f;
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return f;
    f.present = true;
    f.type = st.st_mode & S_IFMT;
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    f.size = st.st_size;
    f.mtime = st.st_mtim;
    f.ctime = st.st_ctim;
    if (!S_ISREG(st.st_mode))
        return f;
    int fd;
    do
        fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != ENOENT) {
        f.readable = false;
        f.readError = errno;
        return f;
    }
    struct stat opened;
    const bool same
        = fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_ino == st.st_ino && opened.st_dev == st.st_dev;
    if (same)
        f.content = readSome(fd, f.readError);
    f.readable = f.readError == 0;
    if (fd >= 0)
        ::close(fd);
    // Replaced or removed between the two looks: looked at again.
    return same || tries <= 1 ? f : look(dirFd, name, tries - 1);
}

std::function<void()>& beforeTakeOver()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& beforeRemove()
{
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& beforePlace()
{
    static std::function<void()> hook;
    return hook;
}

void call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

QString nameIn(const QString& folder, const char* name)
{
    return QDir::toNativeSeparators(QDir(folder).absoluteFilePath(QString::fromLatin1(name)));
}

// A file made at a name: whole (filled, and put there in one step), or else made there empty, to
// be filled there (a file system without hard links); error when there is none.
struct Made {
    int fd = -1;
    bool whole = false;
    int error = 0;
};

// A name of this process's own beside name, for a file it makes or moves there.
QByteArray ownTemp(const char* name)
{
    return name + ('.' + QByteArray::number(qint64(::getpid()))) + '.'
        + QByteArray::number(QRandomGenerator::system()->generate64(), 16) + ".tmp";
}

// Writes a file naming this process under a temporary name of its own beside name, and puts it at
// name with link(), which fails while anything stands there: a file at name is then never one whose
// maker has yet to fill it, so that a taker's judgement of it holds until it removes it.
Made makeWhole(int dirFd, const char* name)
{
    QByteArray temp;
    int fd = -1;
    for (int i = 0; i < 3 && fd < 0; ++i) { // a name taken by something else: another one
        temp = ownTemp(name);
        fd = openNew(dirFd, temp.constData());
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return { -1, false, errno };
    ::fchmod(fd, 0644); // readable by the other users' programs that judge it, whatever the umask
    errno = 0;
    if (!writeAll(fd, ownText()) || !synced(fd)) {
        const int error = errno ? errno : EIO;
        ::close(fd);
        ::unlinkat(dirFd, temp.constData(), 0);
        return { -1, false, error };
    }
    if (std::strcmp(name, kLockName) == 0)
        call(beforePlace());
    const int r = BackupWriteNames::linkAt(dirFd, temp.constData(), dirFd, name);
    const int error = errno;
    ::unlinkat(dirFd, temp.constData(), 0);
    if (r == 0)
        return { fd, true, 0 };
    ::close(fd);
    if (!BackupWriteNames::noHardLinks(error))
        return { -1, false, error };
    const int there = openNew(dirFd, name);
    return { there, false, there < 0 ? errno : 0 };
}

// Removes what stands at name, judged stale as then, unless it changed since. A regular file is
// moved to a name of this process's first and looked at there once more: its maker (one that fills
// it where it stands, on a file system without links) checks that its file is still at the name
// once it has filled it, so either that maker finds it gone, or this process finds it filled and
// puts it back. 0 when it was removed, -1 when it changed or went (to be judged again), else the
// errno of the failure.
int removeUnchanged(int dirFd, const char* name, const BackupLockFile::Found& then)
{
    if (!S_ISREG(then.type))
        return ::unlinkat(dirFd, name, 0) == 0 ? 0 : (errno == ENOENT ? -1 : errno);
    const QByteArray moved = ownTemp(name);
    if (::renameat(dirFd, name, dirFd, moved.constData()) != 0)
        return errno == ENOENT ? -1 : errno;
    const BackupLockFile::Found now = look(dirFd, moved.constData());
    if (now.dev == then.dev && now.ino == then.ino && now.size == then.size && now.content == then.content
        && now.mtime.tv_sec == then.mtime.tv_sec && now.mtime.tv_nsec == then.mtime.tv_nsec) {
        ::unlinkat(dirFd, moved.constData(), 0);
        return 0;
    }
    // Back, unless another file took the name meanwhile: this one then stays under the name of this
    // process, and goes once the process it names has ended (removeEndedTemps).
    if (::renameat2(dirFd, moved.constData(), dirFd, name, RENAME_NOREPLACE) != 0
        && (errno == EINVAL || errno == ENOSYS) && !standsAt(dirFd, name))
        ::renameat(dirFd, moved.constData(), dirFd, name);
    return -1;
}

// The temporaries of makers killed before they put their file in place, removed when the process
// they name is one of this host that has ended; one that names nobody may still be being written.
void removeEndedTemps(int dirFd, const QString& folder)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    const QByteArray prefix = QByteArray(kLockName) + '.';
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix) || !name.endsWith(".tmp"))
            continue;
        const BackupLockFile::Found f = look(dirFd, name.constData());
        if (!S_ISREG(f.type) || livenessOf(Holder(f)) != Liveness::Gone
            || !look(dirFd, name.constData()).sameAs(f) || ::unlinkat(dirFd, name.constData(), 0) != 0)
            continue;
        qWarning("Removed %s, left by a maker of a lock file that has ended.",
            qUtf8Printable(nameIn(folder, name.constData())));
    }
    ::closedir(dir);
}

// A wait for the live holder that file names, said with the file, so that the user can tell it.
QString waitTextFor(const QString& folder, const Holder& holder, const char* file)
{
    return QCoreApplication::translate("BackupLockFile", "IDS_WAITING_FOR_LOCK_FILE_HOLDER_%1_%2_%3_%4")
        .arg(QDir::toNativeSeparators(folder), QString::number(holder.pid), QString::fromUtf8(holder.host),
            nameIn(folder, file));
}

// Why the lock file of another computer, or of another process space of this one, is not broken.
QString writtenElsewhere(const QString& folder, const Holder& holder, bool otherSpace)
{
    const QString where = otherSpace
        ? QStringLiteral("from another process space on this computer (a container or sandbox), by its "
                         "process %1")
              .arg(holder.pid)
        : QStringLiteral("from the computer %1 (process %2)")
              .arg(QString::fromUtf8(holder.host), QString::number(holder.pid));
    return QStringLiteral(
        "The backup %1 is being written %2, as %3 says. If nothing there writes into it any "
        "more, remove %3 and try again.")
        .arg(QDir::toNativeSeparators(folder), where, nameIn(folder, kLockName));
}

} // namespace

bool BackupLockFile::Found::sameAs(const Found& o) const
{
    return present == o.present && type == o.type && dev == o.dev && ino == o.ino && size == o.size
        && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec
        && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec && readable == o.readable
        && content == o.content;
}

bool BackupLockFile::Watch::stillFor(const Found& now, Clock::duration wait)
{
    if (!set || !found.sameAs(now)) {
        found = now;
        since = Clock::now();
        set = true;
        return false;
    }
    return Clock::now() - since >= wait;
}

void BackupLockFile::setBeforeTakeOver(std::function<void()> hook)
{
    beforeTakeOver() = std::move(hook);
}

void BackupLockFile::setBeforeRemove(std::function<void()> hook)
{
    beforeRemove() = std::move(hook);
}

void BackupLockFile::setBeforePlace(std::function<void()> hook)
{
    beforePlace() = std::move(hook);
}

QString BackupLockFile::fileName()
{
    return QString::fromLatin1(kLockName);
}

BackupLockFile::BackupLockFile(QString folder)
    : m_folder(std::move(folder))
{
}

BackupLockFile::~BackupLockFile()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    if (stillHeld())
        ::unlinkat(m_dirFd, kLockName, 0);
    else
        qWarning("The lock file %s was replaced while this program held it.",
            qUtf8Printable(nameIn(m_folder, kLockName)));
    ::close(m_dirFd);
}

bool BackupLockFile::stillHeld() const
{
    struct stat st;
    return m_dirFd >= 0 && ::fstatat(m_dirFd, kLockName, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == m_dev
        && st.st_ino == m_ino;
}

BackupLockFile::Result BackupLockFile::tryTake(int dirFd)
{
    if (m_fd >= 0)
        return Result::Held;
    if (Clock::now() < m_nextLook)
        return Result::Busy;
    m_waitText.clear();
    // A stale file removed, the file is made at once; a few rounds lost to other takers are a wait.
    for (int round = 0; round < 3; ++round) {
        Step step = Step::Done;
        const Result r = tryOnce(dirFd, step);
        if (step == Step::Done) {
            if (r == Result::Busy)
                m_nextLook = Clock::now() + kRecheck;
            return r;
        }
    }
    return Result::Busy;
}

BackupLockFile::Result BackupLockFile::tryOnce(int dirFd, Step& step)
{
    // A file there is judged at once, with no file of this process made for nothing.
    if (standsAt(dirFd, kLockName))
        return judge(dirFd, step);
    const Made made = makeWhole(dirFd, kLockName);
    if (made.fd >= 0)
        return fill(dirFd, made.fd, made.whole);
    const int error = made.error;
    // Where no file can be made, one that stands there still tells of a live holder.
    if (error == EEXIST || (isUnwritable(error) && standsAt(dirFd, kLockName)))
        return judge(dirFd, step);
    if (isUnwritable(error))
        return Result::Unusable;
    return cannotMake(kLockName, error);
}

// Names this process in the file just made (unless it was made whole), and holds it if it is still
// the one at the name: a maker stopped between making and filling it may have lost it to a taker.
BackupLockFile::Result BackupLockFile::fill(int dirFd, int fd, bool whole)
{
    struct stat mine, there;
    const bool known = ::fstat(fd, &mine) == 0;
    if (!whole) {
        ::fchmod(fd, 0644); // readable by the other users' programs that judge it, whatever the umask
        call(beforePlace());
    }
    errno = 0;
    const bool written = known && (whole || (writeAll(fd, ownText()) && synced(fd)));
    const int error = errno ? errno : EIO;
    const bool stillMine = known && ::fstatat(dirFd, kLockName, &there, AT_SYMLINK_NOFOLLOW) == 0
        && there.st_dev == mine.st_dev && there.st_ino == mine.st_ino;
    if (!written || !stillMine) {
        ::close(fd);
        if (!written && stillMine)
            ::unlinkat(dirFd, kLockName, 0);
        return written ? Result::Busy : cannotMake(kLockName, error);
    }
    m_dirFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (m_dirFd < 0) {
        const int dupError = errno;
        ::close(fd);
        ::unlinkat(dirFd, kLockName, 0);
        return cannotMake(kLockName, dupError);
    }
    m_fd = fd;
    m_dev = mine.st_dev;
    m_ino = mine.st_ino;
    removeEndedTemps(dirFd, m_folder);
    return Result::Held;
}

BackupLockFile::Result BackupLockFile::judge(int dirFd, Step& step)
{
    const Found f = look(dirFd, kLockName);
    if (!f.present) {
        step = Step::Again;
        return Result::Busy;
    }
    if (S_ISREG(f.type) && !f.readable)
        return refuse(QStringLiteral("Cannot lock the backup %1 for writing: cannot read %2. %3")
                          .arg(QDir::toNativeSeparators(m_folder), nameIn(m_folder, kLockName),
                              QString::fromLocal8Bit(std::strerror(f.readError))));
    const Holder holder(f);
    const Liveness liveness = livenessOf(holder);
    switch (liveness) {
    case Liveness::Live:
        m_lockWatch.set = false;
        m_waitText = waitTextFor(m_folder, holder, kLockName);
        return Result::Busy;
    case Liveness::OtherHost:
    case Liveness::OtherSpace:
        return refuse(writtenElsewhere(m_folder, holder, liveness == Liveness::OtherSpace));
    case Liveness::Gone:
        return takeOver(dirFd, f, holder.describe() + ", which has ended", step);
    case Liveness::Unproven:
    case Liveness::Nobody:
        break;
    }
    if (!m_lockWatch.stillFor(f, kStill))
        return Result::Busy;
    const QByteArray still
        = " and did not change for " + QByteArray::number(qint64(kStill.count())) + " seconds";
    return takeOver(dirFd, f,
        liveness == Liveness::Unproven
            ? holder.describe() + ", which it cannot show to be its maker: it gives no start time" + still
            : "nobody: it named no process" + still,
        step);
}

// Removes a stale file while this process alone may: only the maker of the second file removes
// one, and only while the file at the name is still the one judged stale.
BackupLockFile::Result BackupLockFile::takeOver(
    int dirFd, const Found& stale, const QByteArray& whose, Step& step)
{
    call(beforeTakeOver());
    const Made made = makeWhole(dirFd, kBreakName);
    const int breaker = made.fd;
    if (breaker < 0) {
        const int error = made.error;
        if (error == EEXIST)
            return judgeBreaker(dirFd, step);
        return isUnwritable(error) ? Result::Unusable : cannotMake(kBreakName, error);
    }
    if (!made.whole)
        writeAll(breaker, ownText());
    const bool removed = removeStale(dirFd, stale, whose);
    ::unlinkat(dirFd, kBreakName, 0);
    ::close(breaker);
    m_lockWatch.set = false;
    if (!removed)
        return Result::Refused;
    step = Step::Again;
    return Result::Busy;
}

// True when the stale file is gone (or was changed meanwhile, to be judged again).
bool BackupLockFile::removeStale(int dirFd, const Found& stale, const QByteArray& whose)
{
    if (!look(dirFd, kLockName).sameAs(stale))
        return true;
    call(beforeRemove());
    const int removed = removeUnchanged(dirFd, kLockName, stale);
    if (removed > 0) {
        inTheWay(kLockName, removed);
        return false;
    }
    if (removed == 0)
        qWarning("Took over the lock file %s left by %s.", qUtf8Printable(nameIn(m_folder, kLockName)),
            whose.constData());
    return true;
}

// The second file is held for a moment only: one whose maker has ended, or that cannot show a
// holder and stays unchanged, is removed, and the stale file is judged again at once. What cannot
// be removed there (a folder) is in the way, as at the lock file's name.
BackupLockFile::Result BackupLockFile::judgeBreaker(int dirFd, Step& step)
{
    const Found f = look(dirFd, kBreakName);
    if (!f.present) {
        step = Step::Again;
        return Result::Busy;
    }
    const Holder holder(f);
    const Liveness l = livenessOf(holder);
    if (l == Liveness::Live)
        m_waitText = waitTextFor(m_folder, holder, kBreakName);
    if (l == Liveness::Live || (l != Liveness::Gone && !m_breakWatch.stillFor(f, kStill)))
        return Result::Busy;
    m_breakWatch.set = false;
    if (!look(dirFd, kBreakName).sameAs(f))
        return Result::Busy;
    const int removed = removeUnchanged(dirFd, kBreakName, f);
    if (removed > 0)
        return inTheWay(kBreakName, removed);
    if (removed == 0)
        qWarning("Removed %s, left by a taker of a stale lock file that has ended.",
            qUtf8Printable(nameIn(m_folder, kBreakName)));
    step = Step::Again;
    return Result::Busy;
}

BackupLockFile::Result BackupLockFile::inTheWay(const char* name, int error)
{
    return refuse(QStringLiteral("Cannot lock the backup %1 for writing: %2 is in the way. %3")
                      .arg(QDir::toNativeSeparators(m_folder), nameIn(m_folder, name),
                          QString::fromLocal8Bit(std::strerror(error))));
}

BackupLockFile::Result BackupLockFile::refuse(const QString& why)
{
    m_why = why;
    return Result::Refused;
}

BackupLockFile::Result BackupLockFile::cannotMake(const char* name, int error)
{
    return refuse(QStringLiteral("Cannot lock the backup %1 for writing: cannot create %2. %3")
                      .arg(QDir::toNativeSeparators(m_folder), nameIn(m_folder, name),
                          QString::fromLocal8Bit(std::strerror(error))));
}
