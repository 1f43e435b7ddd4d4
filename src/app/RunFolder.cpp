#include "app/RunFolder.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kPrefix[] = "qm-run-";
const char kMark[] = ".qm-run"; // what tells a folder of the program's from another's of that name
constexpr int kMaxDepth = 64; // the program makes no deeper copies

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes what the folder dir holds, never through a link.
void removeContents(int dir, int depth)
{
    const int listed = ::dup(dir);
    DIR* list = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!list) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(list)) {
        const char* name = entry->d_name;
        struct stat st;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0
            || ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode) && depth < kMaxDepth) {
            const int sub = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                ::fchmod(sub, 0700); // a copy made read-only still goes
                removeContents(sub, depth + 1);
                ::close(sub);
            }
        }
        ::unlinkat(dir, name, S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0);
    }
    ::closedir(list);
}

// The folder of this run, held by its lock until the run ends, and then removed.
class Run
{
public:
    Run()
    {
        // A start that found the folder before its lock removes it: made again.
        for (int tries = 0; tries < 8 && m_fd < 0 && m_error == 0; ++tries)
            make();
        if (m_fd < 0 && m_error == 0)
            m_error = EAGAIN;
    }
    // Once, from whichever thread comes first: the program's end, or one that ends it on a signal
    // (which waits for a removal under way).
    void remove()
    {
        const std::lock_guard lock(m_removing);
        struct stat held, named;
        if (m_fd < 0 || ::getpid() != m_owner)
            return; // a child forked from the run ends before it
        removeContents(m_fd, 0);
        if (::fstat(m_fd, &held) == 0 && ::lstat(m_path.constData(), &named) == 0 && sameFile(held, named))
            ::rmdir(m_path.constData());
        ::close(m_fd);
        m_fd = -1;
        m_path.clear();
    }
    QString path() const
    {
        const std::lock_guard lock(m_removing);
        return m_fd < 0 ? QString() : QFile::decodeName(m_path);
    }
    int error() const { return m_error; }

private:
    void make()
    {
        QByteArray name
            = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + QLatin1String(kPrefix)) + "XXXXXX";
        if (!::mkdtemp(name.data())) {
            m_error = errno;
            return;
        }
        const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat held, named;
        bool ok = fd >= 0;
        if (ok && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                ok = false; // a start is removing it
            else // no start can lock it either, nor remove it
                qWarning("Cannot lock %s: %s", name.constData(), std::strerror(errno));
        }
        ok = ok && ::fstat(fd, &held) == 0 && ::lstat(name.constData(), &named) == 0 && sameFile(held, named);
        const int mark
            = ok ? ::openat(fd, kMark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
        if (mark >= 0) {
            ::close(mark);
            m_fd = fd;
            m_path = name;
            return;
        }
        if (ok) // the folder is there and ours, yet cannot be written
            m_error = errno;
        if (fd >= 0)
            ::close(fd);
    }

    mutable std::mutex m_removing;
    int m_fd = -1;
    int m_error = 0;
    pid_t m_owner = ::getpid();
    QByteArray m_path;
};

std::atomic<Run*> g_made { nullptr };

// Removes the run's folder as the program ends.
struct RemovedAtExit {
    ~RemovedAtExit() { g_made.load()->remove(); }
};

Run& run()
{
    // Never destroyed: a thread that ends the program on a signal may remove it while the program
    // is ending.
    static Run* made = g_made = new Run;
    static const RemovedAtExit atExit;
    return *made;
}

// Removes the folder at name in the folder tmp when it is a run's of this user that has ended: one
// marked as the program's, or an empty one (a run killed before it marked it), that no run locks.
bool removeIfEnded(int tmp, const char* name)
{
    struct stat seen, held, mark;
    if (::fstatat(tmp, name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(seen.st_mode)
        || seen.st_uid != ::geteuid())
        return false;
    const int fd = ::openat(tmp, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A live run holds the lock; one whose folder the name no longer leads to is another's.
    const bool free = ::fstat(fd, &held) == 0 && sameFile(seen, held) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
        && ::fstatat(tmp, name, &seen, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(seen, held);
    const bool marked
        = free && ::fstatat(fd, kMark, &mark, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(mark.st_mode);
    if (marked)
        removeContents(fd, 0);
    const bool removed = free && ::unlinkat(tmp, name, AT_REMOVEDIR) == 0;
    ::close(fd);
    return removed;
}

} // namespace

QString RunFolder::path(QString* why)
{
    const Run& r = run();
    if (r.path().isEmpty() && why)
        *why = QString::fromLocal8Bit(std::strerror(r.error()));
    return r.path();
}

void RunFolder::removeNow()
{
    if (Run* made = g_made.load())
        made->remove();
}

QString RunFolder::templateFor(const QString& name)
{
    const QString folder = path();
    return (folder.isEmpty() ? QDir::tempPath() : folder) + QLatin1Char('/') + name
        + QStringLiteral("-XXXXXX");
}

int RunFolder::removeEnded()
{
    const int tmp
        = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = tmp >= 0 ? ::fdopendir(tmp) : nullptr;
    if (!list) {
        if (tmp >= 0)
            ::close(tmp);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(list)) {
        if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) != 0
            || !removeIfEnded(::dirfd(list), entry->d_name))
            continue;
        ++removed;
        qInfo("Removed %s, the private copies of a run that ended.",
            qUtf8Printable(QDir(QDir::tempPath()).absoluteFilePath(QFile::decodeName(entry->d_name))));
    }
    ::closedir(list);
    return removed;
}
