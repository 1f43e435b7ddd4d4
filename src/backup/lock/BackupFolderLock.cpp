#include "backup/lock/BackupFolderLock.h"

#include "backup/lock/BackupLockFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace
{

using Clock = std::chrono::steady_clock;
// A wait shorter than this is not shown.
constexpr auto kMoment = std::chrono::milliseconds(400);
constexpr auto kPoll = std::chrono::milliseconds(10);

using Key = std::pair<quint64, quint64>; // device and inode

// One folder the process holds: the open folder whose lock (kernelMode) backs the holds counted.
struct Folder {
    int fd = -1;
    int kernelMode = LOCK_UN;
    bool unlockable = false; // the file system cannot lock it: the holds are counted only
    std::unique_ptr<BackupLockFile> lockFile; // there, what backs the exclusive holds
    int shared = 0;
    int exclusive = 0;
    std::map<std::thread::id, int> sharedBy;
};

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::map<Key, Folder> folders;
    std::set<Key> toldUnlockable; // said once per folder, not at every hold
    std::set<Key> toldWithoutLockFile;
};

// Never destroyed: a hold may be released (or kept) past the end of main.
Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

BackupFolderLock::WaitRunner& waitRunner()
{
    static BackupFolderLock::WaitRunner runner;
    return runner;
}

BackupFolderLock::LockCall& lockCall()
{
    static BackupFolderLock::LockCall call = ::flock;
    return call;
}

void tellUnlockable(Registry& r, const Key& key, const QString& path, int error)
{
    if (!r.toldUnlockable.insert(key).second)
        return;
    qWarning("The backup folder %s cannot be locked (%s): it is read without the lock, and written under "
             "the lock file %s.",
        qUtf8Printable(path), std::strerror(error), qUtf8Printable(BackupLockFile::fileName()));
}

void tellWithoutLockFile(Registry& r, const Key& key, const QString& path)
{
    if (r.toldWithoutLockFile.insert(key).second)
        qWarning("Cannot make the lock file %s in the backup folder %s, which takes no new file: it is "
                 "written without it.",
            qUtf8Printable(BackupLockFile::fileName()), qUtf8Printable(path));
}

// Where the folder cannot be locked, the first exclusive hold of the process makes the lock file
// and keeps it until the last one ends. False while another process holds it, or when it cannot
// be had at all (refusal says why, and ends the wait).
bool takeLockFile(Registry& r, const Key& key, Folder& f, std::unique_ptr<BackupLockFile>& taking,
    const QString& path, QString& refusal)
{
    if (!f.unlockable || f.lockFile)
        return true;
    if (!taking)
        taking = std::make_unique<BackupLockFile>(path);
    switch (taking->tryTake(f.fd)) {
    case BackupLockFile::Result::Held:
        f.lockFile = std::move(taking);
        return true;
    case BackupLockFile::Result::Unusable:
        tellWithoutLockFile(r, key, path); // nothing can be written there: nothing to keep out
        return true;
    case BackupLockFile::Result::Refused:
        refusal = taking->why();
        return false;
    case BackupLockFile::Result::Busy:
        break;
    }
    return false;
}

// Never waits. Only "would block" (or an interruption) means that another program holds the
// folder; any other failure means that this file system cannot lock it, and waiting would never
// end: the folder is then used without the lock.
bool lockNow(Registry& r, const Key& key, Folder& f, int mode, const QString& path)
{
    if (f.unlockable)
        return true;
    const int before = f.kernelMode;
    if (lockCall()(f.fd, mode | LOCK_NB) == 0) {
        f.kernelMode = mode;
        return true;
    }
    const int error = errno;
    if (error != EWOULDBLOCK && error != EINTR) {
        f.unlockable = true;
        tellUnlockable(r, key, path, error);
        return true;
    }
    // A failed change from shared to exclusive has dropped the shared lock: it is taken again at
    // once, so the own shared holds stay backed while the exclusive one waits.
    f.kernelMode = LOCK_UN;
    if (before == LOCK_SH && lockCall()(f.fd, LOCK_SH | LOCK_NB) == 0)
        f.kernelMode = LOCK_SH;
    return false;
}

// Waits until tryOnce gives true, or the user ends the wait (false). A wait longer than a moment
// is shown by the wait runner, or else each thing it waits for (says) is said once in the log.
bool waitFor(const std::function<QString()>& says, const std::function<bool()>& tryOnce)
{
    for (const auto end = Clock::now() + kMoment; Clock::now() < end;) {
        {
            std::unique_lock<std::mutex> lock(registry().mutex);
            registry().released.wait_for(lock, kPoll);
        }
        if (tryOnce())
            return true;
    }
    if (waitRunner())
        return waitRunner()(says, tryOnce);
    QStringList said;
    do {
        const QString now = says();
        if (!said.contains(now)) {
            said << now;
            qInfo("%s", qUtf8Printable(now));
        }
        std::this_thread::sleep_for(kPoll);
    } while (!tryOnce());
    return true;
}

// The folder's lock follows its holds downwards; the last hold gone, the folder is closed.
void settleKernelMode(Registry& r, std::map<Key, Folder>::iterator it)
{
    Folder& f = it->second;
    if (f.exclusive == 0)
        f.lockFile.reset(); // removes it
    if (f.exclusive == 0 && f.shared == 0) {
        if (f.kernelMode != LOCK_UN)
            lockCall()(f.fd, LOCK_UN); // as the close would: said, so that one can see where it ends
        ::close(f.fd);
        r.folders.erase(it);
    } else if (f.exclusive == 0 && f.kernelMode == LOCK_EX) {
        // From exclusive to shared nobody can come in between; never waited for all the same.
        f.kernelMode = lockCall()(f.fd, LOCK_SH | LOCK_NB) == 0 ? LOCK_SH : LOCK_UN;
    }
}

} // namespace

BackupFolderLock::Cancelled::Cancelled()
    : std::runtime_error("The wait for the backup folder was cancelled.")
{
}

void BackupFolderLock::setWaitRunner(WaitRunner runner)
{
    waitRunner() = std::move(runner);
}

QString BackupFolderLock::waitText(Mode mode, const QString& folder)
{
    // A read waits only for a write; a write waits for reads and writes alike.
    const char* key
        = mode == Mode::Shared ? "IDS_WAITING_FOR_BACKUP_WRITE_%1" : "IDS_WAITING_FOR_BACKUP_IN_USE_%1";
    return QCoreApplication::translate("BackupFolderLock", key).arg(QDir::toNativeSeparators(folder));
}

BackupFolderLock::LockCall BackupFolderLock::setLockCall(LockCall call)
{
    const std::lock_guard<std::mutex> lock(registry().mutex);
    return std::exchange(lockCall(), call);
}

BackupFolderLock::BackupFolderLock(const QDir& dir, Mode mode)
    : BackupFolderLock(dir, mode, -1)
{
}

BackupFolderLock::BackupFolderLock(const QDir& dir, Mode mode, int folderFd)
    : m_path(dir.absolutePath())
    , m_mode(mode)
    , m_folderFd(folderFd)
{
    const bool ended
        = tryAcquire() || waitFor([this] { return waitingFor(); }, [this] { return tryAcquire(); });
    if (!m_refusal.isEmpty())
        throw std::runtime_error(m_refusal.toStdString());
    if (ended)
        return;
    // The own shared holds a failed change to exclusive left without the lock are backed again,
    // in a wait that can be cancelled too (then they go on without it until the next hold takes
    // it): another program's write may have come in between.
    if (!backOwnSharedHolds())
        waitFor([this] { return waitText(Mode::Shared, m_path); }, [this] { return backOwnSharedHolds(); });
    throw Cancelled();
}

QString BackupFolderLock::waitingFor() const
{
    const QString holder = m_lockFileBusy && m_taking ? m_taking->waitText() : QString();
    return holder.isEmpty() ? waitText(m_mode, m_path) : holder;
}

bool BackupFolderLock::backOwnSharedHolds()
{
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.folders.find({ m_dev, m_ino });
    if (it == r.folders.end() || it->second.shared == 0 || it->second.kernelMode != LOCK_UN)
        return true;
    return lockNow(r, it->first, it->second, LOCK_SH, m_path);
}

bool BackupFolderLock::tryAcquire()
{
    const QByteArray native = QFile::encodeName(m_path);
    struct stat st;
    const bool found = m_folderFd >= 0 ? ::fstat(m_folderFd, &st) == 0 : ::stat(native.constData(), &st) == 0;
    if (!found || !S_ISDIR(st.st_mode))
        return true; // nothing to hold
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    m_lockFileBusy = false;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    auto it = r.folders.find({ m_dev, m_ino });
    if (it == r.folders.end()) {
        // An open of its own (a lock goes with the open, not the descriptor).
        const int fd = m_folderFd >= 0 ? ::openat(m_folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                       : ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return true;
        it = r.folders.emplace(std::make_pair(m_dev, m_ino), Folder()).first;
        it->second.fd = fd;
    }
    Folder& f = it->second;
    const std::thread::id self = std::this_thread::get_id();
    if (m_mode == Mode::Shared) {
        if (f.kernelMode == LOCK_UN && !lockNow(r, it->first, f, LOCK_SH, m_path)) {
            settleKernelMode(r, it);
            return false;
        }
        ++f.shared;
        ++f.sharedBy[self];
    } else if (f.exclusive > 0) {
        ++f.exclusive; // a hold within the process's own write
    } else {
        const auto own = f.sharedBy.find(self);
        const int mine = own == f.sharedBy.end() ? 0 : own->second;
        if (f.shared > mine || !lockNow(r, it->first, f, LOCK_EX, m_path)
            || !takeLockFile(r, it->first, f, m_taking, m_path, m_refusal)) {
            m_lockFileBusy = f.shared <= mine && f.unlockable && m_refusal.isEmpty();
            settleKernelMode(r, it);
            return !m_refusal.isEmpty(); // a refusal ends the wait, without the hold
        }
        m_gaveUp = mine;
        f.shared -= mine;
        if (own != f.sharedBy.end())
            f.sharedBy.erase(own);
        f.exclusive = 1;
    }
    m_held = true;
    m_owner = self;
    return true;
}

void BackupFolderLock::handOverToThisThread()
{
    const std::thread::id self = std::this_thread::get_id();
    if (!m_held || m_owner == self)
        return;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.folders.find({ m_dev, m_ino });
    // An exclusive hold counts for no thread; the shared holds it gave up stay those of the thread
    // that took it, which gets them back when it ends.
    if (it != r.folders.end() && m_mode == Mode::Shared) {
        auto& by = it->second.sharedBy;
        if (--by[m_owner] <= 0)
            by.erase(m_owner);
        ++by[self];
    }
    if (m_mode == Mode::Shared)
        m_owner = self;
}

QString BackupFolderLock::lostLockFile() const
{
    if (!m_held || m_mode != Mode::Exclusive)
        return QString();
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.folders.find({ m_dev, m_ino });
    if (it == r.folders.end() || !it->second.lockFile || it->second.lockFile->stillHeld())
        return QString();
    return QDir::toNativeSeparators(QDir(m_path).absoluteFilePath(BackupLockFile::fileName()));
}

BackupFolderLock::~BackupFolderLock()
{
    if (!m_held)
        return;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.folders.find({ m_dev, m_ino });
    if (it == r.folders.end())
        return;
    Folder& f = it->second;
    // Counted for the thread that holds it, which need not be the one ending it (a hold handed over).
    if (m_mode == Mode::Shared) {
        --f.shared;
        if (--f.sharedBy[m_owner] <= 0)
            f.sharedBy.erase(m_owner);
    } else {
        --f.exclusive;
        f.shared += m_gaveUp;
        if (m_gaveUp > 0)
            f.sharedBy[m_owner] += m_gaveUp;
    }
    settleKernelMode(r, it);
    r.released.notify_all();
}
