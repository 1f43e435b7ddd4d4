#include "backup/write/BackupWriteNames.h"

#include "backup/write/BackupWritePlace.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kTempSuffix = QString::fromLatin1(BackupWritePlace::kTemp);
const QString kAsideSuffix = QString::fromLatin1(BackupWritePlace::kAside);

std::function<void()>& beforeChange()
{
    static std::function<void()> hook;
    return hook;
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

QString BackupWriteNames::tempOf(const QString& target)
{
    return target + kTempSuffix;
}

QString BackupWriteNames::asideOf(const QString& target)
{
    return target + kAsideSuffix;
}

bool BackupWriteNames::present(const QString& path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

bool BackupWriteNames::rename(const QString& from, const QString& to)
{
    announce();
    return ::rename(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteNames::link(const QString& from, const QString& to)
{
    announce();
    return ::link(native(from).constData(), native(to).constData()) == 0;
}

bool BackupWriteNames::removeIfPresent(const QString& path)
{
    if (!present(path))
        return true;
    announce();
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

bool BackupWriteNames::renameNoReplace(const QString& from, const QString& to)
{
    announce();
    if (::renameat2(AT_FDCWD, native(from).constData(), AT_FDCWD, native(to).constData(), RENAME_NOREPLACE)
        == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that kind of rename: the folder is held, nothing else writes the name.
    if (present(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(native(from).constData(), native(to).constData()) == 0;
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

bool BackupWriteNames::freeAsideName(const QString& target)
{
    const QString aside = asideOf(target);
    struct stat a;
    struct stat t;
    if (::lstat(native(aside).constData(), &a) != 0)
        return errno == ENOENT;
    if (S_ISREG(a.st_mode) && ::lstat(native(target).constData(), &t) == 0 && a.st_ino == t.st_ino
        && a.st_dev == t.st_dev)
        return removeIfPresent(aside); // a second name of the file itself: nothing is lost
    for (int n = 1; n <= 1000; ++n) {
        const QString kept = aside + QLatin1Char('-') + QString::number(n);
        if (renameNoReplace(aside, kept)) {
            qWarning("Moved %s, left by an earlier write into the backup, to %s.", qUtf8Printable(aside),
                qUtf8Printable(kept));
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
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
