#include "notes_media/MadeFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void MadeFolders::makeDestination(const QString& dest)
{
    // The missing part of the way is made from the deepest entry that stands (whatever it is).
    QString root = QDir(dest).absolutePath();
    QStringList missing;
    struct stat st;
    while (::lstat(QFile::encodeName(root).constData(), &st) != 0 && errno == ENOENT) {
        const QString up = QFileInfo(root).path();
        if (up == root)
            break;
        missing.prepend(QFileInfo(root).fileName());
        root = up;
    }
    m_root = root;
    for (const QString& part : std::as_const(missing)) {
        root = QDir(root).filePath(part);
        make(root);
    }
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
