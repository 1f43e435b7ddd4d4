#include "app/OwnFolder.h"

#include "app/MadeFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void warnNotClosed(const QString& path, const QString& why)
{
    qWarning("Cannot close %s to other users: %s.", qUtf8Printable(path), qUtf8Printable(why));
}

// What stands at path is a link: used as the user's when it and the folder it leads to are theirs.
OwnFolder::Found linkAt(const QString& path, const struct stat& link, bool first)
{
    struct stat target;
    const bool folder = ::stat(QFile::encodeName(path).constData(), &target) == 0 && S_ISDIR(target.st_mode);
    if (link.st_uid != ::geteuid() || (folder && target.st_uid != ::geteuid()))
        return OwnFolder::Found::Foreign;
    if (first && folder && (target.st_mode & 077))
        qWarning("Left %s alone: it is a link, and the folder it leads to is open to other users.",
            qUtf8Printable(path));
    return OwnFolder::Found::Ours;
}

// Takes name in the folder fd (shown as path), another user's, out of the program's way: a file goes,
// a folder (whose contents may not be removable) is moved to a name the program never uses.
void takeOutForeign(int fd, const char* name, bool folder, const QString& path)
{
    const QByteArray aside = QByteArray(name) + ".another-user's";
    const bool done
        = folder ? ::renameat(fd, name, fd, aside.constData()) == 0 : ::unlinkat(fd, name, 0) == 0;
    if (!done)
        qWarning(
            "Cannot take %s out of the way: %s.", qUtf8Printable(path), qUtf8Printable(systemText(errno)));
    else
        qWarning("%s %s: it belongs to another user, who could write into the folder an earlier version "
                 "left open to others.",
            folder ? "Moved aside" : "Removed", qUtf8Printable(path));
}

// Closes what the folder fd (shown as path) holds, links neither followed nor changed.
void closeContents(int fd, const QString& path)
{
    DIR* dir = ::fdopendir(::dup(fd));
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        struct stat st;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..")
            || ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || std::strstr(name, ".another-user's"))
            continue;
        const QString entry = path + QLatin1Char('/') + QFile::decodeName(name);
        if (st.st_uid != ::geteuid()) {
            takeOutForeign(fd, name, S_ISDIR(st.st_mode), entry);
            continue;
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            continue;
        const int child
            = ::openat(fd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (S_ISDIR(st.st_mode) ? O_DIRECTORY : 0));
        if (child < 0)
            continue;
        if ((st.st_mode & 077) && ::fchmod(child, st.st_mode & 07700) != 0)
            warnNotClosed(entry, systemText(errno));
        if (S_ISDIR(st.st_mode))
            closeContents(child, entry);
        ::close(child);
    }
    ::closedir(dir);
}

} // namespace

bool OwnFolder::make(const QString& path, QString* why)
{
    if (QFileInfo(path).isDir())
        return true;
    if (!MadeFolders::makePath(QFileInfo(path).absolutePath(), why))
        return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0)
        return true;
    const int error = errno;
    if (QFileInfo(path).isDir()) // made by another program meanwhile
        return true;
    if (why)
        *why = MadeFolders::failureText(path, error);
    return false;
}

OwnFolder::Found OwnFolder::close(const QString& path, bool first)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
        const int error = errno;
        if (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return linkAt(path, st, first);
        if (error != ENOENT && first)
            warnNotClosed(path, systemText(error));
        return Found::Other;
    }
    Found found = Found::Ours;
    if (::fstat(fd, &st) != 0) {
        if (first)
            warnNotClosed(path, systemText(errno));
    } else if (st.st_uid != ::geteuid())
        found = Found::Foreign;
    else if ((st.st_mode & 077) && ::fchmod(fd, st.st_mode & 07700) != 0)
        warnNotClosed(path, systemText(errno));
    else if (st.st_mode & 077) {
        struct stat now;
        // A disk that keeps no modes (FAT, exFAT) takes the change and keeps the folder open.
        if (::fstat(fd, &now) == 0 && (now.st_mode & 077))
            warnNotClosed(path, QStringLiteral("the disk it is on does not keep who may read it"));
        else {
            qInfo("Closed %s to other users: its mode was %03o.", qUtf8Printable(path),
                unsigned(st.st_mode & 0777));
            closeContents(fd, path);
        }
    }
    ::close(fd);
    return found;
}
