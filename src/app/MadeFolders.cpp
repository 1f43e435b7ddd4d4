#include "app/MadeFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool failed(const QString& folder, int error, QString* why)
{
    if (why)
        *why = MadeFolders::failureText(folder, error);
    errno = error;
    return false;
}

} // namespace

void MadeFolders::makePathThrow(const QString& path)
{
    QString why;
    if (!makePath(path, &why))
        throw std::runtime_error(why.toStdString());
}

QString MadeFolders::failureText(const QString& folder, int error)
{
    return QStringLiteral("Cannot make the folder %1: %2.")
        .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(error)));
}

bool MadeFolders::makePath(const QString& path, QString* why)
{
    return MadeFolders().makeDestination(path, why);
}

bool MadeFolders::makeDestination(const QString& dest, QString* why)
{
    // The missing part of the way is made from the deepest entry that stands (whatever it is).
    QString root = QDir(dest).absolutePath();
    QStringList missing;
    struct stat st;
    int error = 0;
    while (::lstat(QFile::encodeName(root).constData(), &st) != 0 && (error = errno) == ENOENT) {
        const QString up = QFileInfo(root).path();
        if (up == root)
            break;
        missing.prepend(QFileInfo(root).fileName());
        root = up;
    }
    m_root = root;
    if (error != ENOENT && error != 0)
        return failed(root, error, why); // a file on the way ("Not a directory"), a folder closed to us
    for (const QString& part : std::as_const(missing)) {
        root = QDir(root).filePath(part);
        // One made by another program meanwhile serves as well.
        if (!make(root) && errno != EEXIST)
            return failed(root, errno, why);
    }
    // What stands at the destination must be a folder, or a link to one.
    return QFileInfo(dest).isDir() || failed(QDir(dest).absolutePath(), ENOTDIR, why);
}

bool MadeFolders::make(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0777) != 0)
        return false;
    // Kept by what it is, so that a folder put in its place later is never taken for it.
    const QString prefix = m_root.endsWith(QLatin1Char('/')) ? m_root : m_root + QLatin1Char('/');
    struct stat st;
    if (!m_root.isEmpty() && path.startsWith(prefix) && ::lstat(native.constData(), &st) == 0)
        m_made.push_back({ QFile::encodeName(path.mid(prefix.size())), st.st_dev, st.st_ino });
    return true;
}

int MadeFolders::removeEmpty()
{
    const int rootFd = ::open(QFile::encodeName(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return 0;
    int removed = 0;
    for (auto it = m_made.crbegin(); it != m_made.crend(); ++it)
        removed += removeOne(rootFd, *it) ? 1 : 0;
    ::close(rootFd);
    m_made.clear();
    return removed;
}

// rmdir of the folder when it is still the one made: it fails when anything is in it.
bool MadeFolders::removeOne(int rootFd, const Made& made) const
{
    const QList<QByteArray> parts = made.relative.split('/');
    int fd = rootFd;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const int next = ::openat(fd, parts[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd != rootFd)
            ::close(fd);
        if (next < 0)
            return false;
        fd = next;
    }
    struct stat st;
    const char* name = parts.last().constData();
    const bool removed = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
        && st.st_dev == made.dev && st.st_ino == made.ino && ::unlinkat(fd, name, AT_REMOVEDIR) == 0;
    if (fd != rootFd)
        ::close(fd);
    return removed;
}
