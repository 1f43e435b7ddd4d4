#include "backup/write/BackupWriteNames.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

std::function<void()>& beforeChange()
{
    static std::function<void()> hook;
    return hook;
}

BackupWriteNames::LinkCall& linkCall()
{
    static BackupWriteNames::LinkCall call = ::linkat;
    return call;
}

BackupWriteNames::SyncCall& syncCall()
{
    static BackupWriteNames::SyncCall call = ::fsync;
    return call;
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool renamed(const QString& from, const QString& to, unsigned int flags)
{
    return ::renameat2(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), flags) == 0;
}

// The hook of a change about to be made, then the last check of its caller.
void announceThen(const std::function<void()>& lastCheck)
{
    BackupWriteNames::announce();
    if (lastCheck)
        lastCheck();
}

} // namespace

QByteArray BackupWriteNames::tempSuffix(const QByteArray& id)
{
    return id.isEmpty() ? QByteArray(kTempSuffix) : '.' + id + kTempSuffix;
}

QString BackupWriteNames::tempOf(const QString& target, const QByteArray& id)
{
    return target + QString::fromLatin1(tempSuffix(id));
}

QString BackupWriteNames::asideOf(const QString& target)
{
    return target + QString::fromLatin1(kAsideSuffix);
}

QString BackupWriteNames::changedText(const QString& path)
{
    return QStringLiteral("Another program changed %1 while this write was under way: nothing was written.")
        .arg(QDir::toNativeSeparators(path));
}

bool BackupWriteNames::present(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

bool BackupWriteNames::Stamp::unchangedSince(const Stamp& then, bool renamed) const
{
    return sameFile(then) && size == then.size && sameTime(mtime, then.mtime)
        && (renamed || sameTime(ctime, then.ctime));
}

BackupWriteNames::Stamp BackupWriteNames::stampOf(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0 ? stampOf(st) : Stamp();
}

BackupWriteNames::Stamp BackupWriteNames::stampOf(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? stampOf(st) : Stamp();
}

BackupWriteNames::Stamp BackupWriteNames::stampOf(const struct stat& st)
{
    Stamp s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
}

bool BackupWriteNames::rename(const QString& from, const QString& to)
{
    announce();
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

BackupWriteNames::LinkCall BackupWriteNames::setLinkCall(LinkCall call)
{
    return std::exchange(linkCall(), call);
}

int BackupWriteNames::linkAt(int fromDir, const char* from, int toDir, const char* to)
{
    int r;
    do
        r = linkCall()(fromDir, from, toDir, to, 0);
    while (r != 0 && errno == EINTR);
    return r;
}

BackupWriteNames::SyncCall BackupWriteNames::setSyncCall(SyncCall call)
{
    return std::exchange(syncCall(), call);
}

bool BackupWriteNames::syncFd(int fd)
{
    return syncCall()(fd) == 0;
}

bool BackupWriteNames::noHardLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

bool BackupWriteNames::removeIfPresent(const QString& path)
{
    if (!present(path))
        return true;
    announce();
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

int BackupWriteNames::createOwnFd(const QString& path, mode_t mode)
{
    if (!removeIfPresent(path))
        return -1;
    return ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool BackupWriteNames::createOwn(QFile& file, const QString& path)
{
    const int fd = createOwnFd(path);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    errno = EIO;
    return false;
}

void BackupWriteNames::setBeforeChange(std::function<void()> hook)
{
    beforeChange() = std::move(hook);
}

void BackupWriteNames::announce()
{
    if (beforeChange())
        beforeChange()();
}
