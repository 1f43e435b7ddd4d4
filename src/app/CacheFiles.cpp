#include "app/CacheFiles.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString failureText(const QString& path, int error)
{
    return QStringLiteral("Cannot remove %1: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

bool CacheFiles::removeIn(const QString& folder, const QRegularExpression& names, QString* why)
{
    const int fd
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        // A link or a file at the folder's name is not the program's folder: nothing of it goes.
        if (errno == ELOOP || errno == ENOTDIR) {
            qWarning("Cache folder %s not cleared: it is no folder of the program's", qUtf8Printable(folder));
            return true;
        }
        if (why)
            *why = failureText(folder, errno);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        if (why)
            *why = failureText(folder, error);
        return false;
    }
    bool removed = true;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        struct stat st;
        if (!names.match(name).hasMatch() || ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::unlinkat(fd, entry->d_name, 0) != 0 && errno != ENOENT && removed) {
            removed = false;
            if (why)
                *why = failureText(QDir(folder).absoluteFilePath(name), errno);
        }
    }
    ::closedir(dir);
    return removed;
}
