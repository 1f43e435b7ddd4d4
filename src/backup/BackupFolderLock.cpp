#include "backup/BackupFolderLock.h"

#include <QFile>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;
// A wait shorter than this is not shown.
constexpr auto kMoment = std::chrono::milliseconds(400);
constexpr auto kPoll = std::chrono::milliseconds(10);

// One folder the process holds: the open folder whose lock (kernelMode) backs the holds counted.
struct Folder {
    int fd = -1;
    int kernelMode = LOCK_UN;
    int shared = 0;
    int exclusive = 0;
    std::map<std::thread::id, int> sharedBy;
};

struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::map<std::pair<quint64, quint64>, Folder> folders; // by device and inode
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

bool lockNow(Folder& f, int mode)
{
    if (::flock(f.fd, mode | LOCK_NB) == 0) {
        f.kernelMode = mode;
        return true;
    }
    // A failed change from shared to exclusive has dropped the shared lock.
    f.kernelMode = LOCK_UN;
    return false;
}

// The folder's lock follows its holds downwards; the last hold gone, the folder is closed.
void settleKernelMode(Registry& r, std::map<std::pair<quint64, quint64>, Folder>::iterator it)
{
    Folder& f = it->second;
    if (f.exclusive == 0 && f.shared == 0) {
        ::close(f.fd); // drops the lock
        r.folders.erase(it);
    } else if (f.exclusive == 0 && f.kernelMode == LOCK_EX) {
        ::flock(f.fd, LOCK_SH); // from exclusive to shared never waits
        f.kernelMode = LOCK_SH;
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

BackupFolderLock::BackupFolderLock(const QDir& dir, Mode mode)
    : m_path(dir.absolutePath())
    , m_mode(mode)
{
    if (tryAcquire())
        return;
    for (const auto end = Clock::now() + kMoment; Clock::now() < end;) {
        {
            std::unique_lock<std::mutex> lock(registry().mutex);
            registry().released.wait_for(lock, kPoll);
        }
        if (tryAcquire())
            return;
    }
    if (!waitRunner()) {
        while (!tryAcquire())
            std::this_thread::sleep_for(kPoll);
        return;
    }
    if (waitRunner()(m_mode, m_path, [this] { return tryAcquire(); }))
        return;
    // The own shared holds a failed change to exclusive dropped are backed again.
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.folders.find({ m_dev, m_ino });
    if (it != r.folders.end() && it->second.shared > 0 && it->second.kernelMode == LOCK_UN) {
        ::flock(it->second.fd, LOCK_SH);
        it->second.kernelMode = LOCK_SH;
    }
    throw Cancelled();
}

bool BackupFolderLock::tryAcquire()
{
    const QByteArray native = QFile::encodeName(m_path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return true; // nothing to hold
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    auto it = r.folders.find({ m_dev, m_ino });
    if (it == r.folders.end()) {
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return true;
        it = r.folders.emplace(std::make_pair(m_dev, m_ino), Folder()).first;
        it->second.fd = fd;
    }
    Folder& f = it->second;
    const std::thread::id self = std::this_thread::get_id();
    if (m_mode == Mode::Shared) {
        if (f.kernelMode == LOCK_UN && !lockNow(f, LOCK_SH)) {
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
        if (f.shared > mine || !lockNow(f, LOCK_EX)) {
            settleKernelMode(r, it);
            return false;
        }
        m_gaveUp = mine;
        f.shared -= mine;
        if (own != f.sharedBy.end())
            f.sharedBy.erase(own);
        f.exclusive = 1;
    }
    m_held = true;
    return true;
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
    const std::thread::id self = std::this_thread::get_id();
    if (m_mode == Mode::Shared) {
        --f.shared;
        if (--f.sharedBy[self] <= 0)
            f.sharedBy.erase(self);
    } else {
        --f.exclusive;
        f.shared += m_gaveUp;
        if (m_gaveUp > 0)
            f.sharedBy[self] += m_gaveUp;
    }
    settleKernelMode(r, it);
    r.released.notify_all();
}
