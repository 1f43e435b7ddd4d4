#include "app/WrittenDisks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

struct WrittenDisks::Set {
    struct Disk {
        dev_t dev;
        int fd; // open on the disk since its first new file; -1 when it could not be opened
        int error; // why it could not
        QString path; // the file noted on it, or the deepest folder that holds every one
    };
    std::mutex mutex; // a task's helpers note at once
    std::vector<Disk> disks;

    ~Set() { closeAll(); }
    void closeAll()
    {
        for (const Disk& d : disks)
            if (d.fd >= 0)
                ::close(d.fd);
        disks.clear();
    }
};

namespace
{

thread_local std::shared_ptr<WrittenDisks::Set> t_own;
thread_local std::shared_ptr<WrittenDisks::Set> t_helped; // the task a helper notes for
thread_local int t_unnoted = 0;

std::atomic<WrittenDisks::SyncCall>& syncCall()
{
    static std::atomic<WrittenDisks::SyncCall> call { &::syncfs };
    return call;
}

// The deepest path that holds both path and other (absolute paths).
QString common(QString path, const QString& other)
{
    while (other != path
        && !(other.startsWith(path) && (path.endsWith(QLatin1Char('/')) || other.at(path.size()) == '/'))) {
        const QString up = QFileInfo(path).path();
        if (up == path)
            break;
        path = up;
    }
    return path;
}

} // namespace

void WrittenDisks::note(int fd, const QString& path, int folder)
{
    if (t_unnoted > 0)
        return;
    const std::shared_ptr<Set> set = t_helped ? t_helped : ofThisThread();
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return;
    const std::lock_guard<std::mutex> lock(set->mutex);
    for (Set::Disk& d : set->disks)
        if (d.dev == st.st_dev) {
            d.path = common(d.path, path);
            return;
        }
    // Through its folder; one that may not be read, through the file itself.
    int disk = folder >= 0
        ? ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
        : ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (disk < 0)
        disk = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    // One that cannot be opened cannot be synced: the task is told so at its end.
    set->disks.push_back({ st.st_dev, disk, disk >= 0 ? 0 : errno, path });
}

bool WrittenDisks::syncThisThread(QString* error)
{
    if (!t_own)
        return true;
    std::vector<Set::Disk> disks;
    {
        const std::lock_guard<std::mutex> lock(t_own->mutex);
        disks.swap(t_own->disks);
    }
    bool ok = true;
    for (const Set::Disk& d : disks) {
        if (d.fd < 0)
            errno = d.error;
        if ((d.fd < 0 || syncCall().load()(d.fd) != 0) && ok) {
            ok = false;
            if (error)
                *error = QStringLiteral("Cannot write %1 to the disk: %2")
                             .arg(QDir::toNativeSeparators(d.path),
                                 QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (d.fd >= 0)
            ::close(d.fd);
    }
    return ok;
}

void WrittenDisks::forgetThisThread()
{
    if (!t_own)
        return;
    const std::lock_guard<std::mutex> lock(t_own->mutex);
    t_own->closeAll();
}

std::shared_ptr<WrittenDisks::Set> WrittenDisks::ofThisThread()
{
    if (!t_own)
        t_own = std::make_shared<Set>();
    return t_own;
}

WrittenDisks::SyncCall WrittenDisks::setSyncCall(SyncCall call)
{
    return syncCall().exchange(call);
}

WrittenDisks::Helper::Helper(std::shared_ptr<Set> task)
    : m_before(std::exchange(t_helped, std::move(task)))
{
}

WrittenDisks::Helper::~Helper()
{
    t_helped = std::move(m_before);
}

WrittenDisks::Unnoted::Unnoted()
{
    ++t_unnoted;
}

WrittenDisks::Unnoted::~Unnoted()
{
    --t_unnoted;
}
