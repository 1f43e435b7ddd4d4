#include "app/FolderAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

FolderAccess::State refused(const QString& path, int error, QString* text)
{
    if (text)
        *text = QStringLiteral("Cannot read the folder %1: %2.")
                    .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error)));
    return FolderAccess::State::Refused;
}

// The outermost folder on the way to path that may not be searched: the one to name when path
// cannot even be looked at. Path itself when there is none.
QString refusingFolder(const QString& path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    struct stat st;
    for (qsizetype slash = absolute.indexOf(QLatin1Char('/'), 1); slash > 0;
         slash = absolute.indexOf(QLatin1Char('/'), slash + 1)) {
        const QString folder = absolute.left(slash);
        if (::stat(QFile::encodeName(folder + QStringLiteral("/.")).constData(), &st) != 0)
            return folder;
    }
    return path;
}

} // namespace

FolderAccess::State FolderAccess::stateOf(const QString& path, QString* text, bool list)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? State::Missing
                                                   : refused(refusingFolder(path), error, text);
    }
    if (!S_ISDIR(st.st_mode))
        return State::Missing;
    // Looking up an entry needs the folder's search permission; "." is the one always there.
    if (::stat((native + "/.").constData(), &st) != 0)
        return refused(path, errno, text);
    if (list) {
        const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return refused(path, errno, text);
        ::close(fd);
    }
    return State::Open;
}
