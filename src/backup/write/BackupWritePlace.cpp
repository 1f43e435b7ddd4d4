#include "backup/write/BackupWritePlace.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The path with the links of the part that exists resolved.
QString resolved(const QString& path)
{
    const QFileInfo info(path);
    const QString real = info.canonicalFilePath();
    if (!real.isEmpty())
        return real;
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath())
        return parent;
    return resolved(parent) + QLatin1Char('/') + info.fileName();
}

} // namespace

void BackupWritePlace::cannot(const QString& what, int error) const
{
    cannot(what, QString::fromLocal8Bit(std::strerror(error)));
}

void BackupWritePlace::cannot(const QString& what, const QString& why) const
{
    qWarning("Cannot %s in the backup in %s. %s", qUtf8Printable(what), qUtf8Printable(m_dir.absolutePath()),
        qUtf8Printable(why));
}

void BackupWritePlace::leftAlone(const QDir& dir, const QString& relative, const char* why)
{
    qWarning("Left %s alone: the record of an earlier write into %s names it, but %s.",
        qUtf8Printable(relative), qUtf8Printable(dir.absolutePath()), why);
}

QString BackupWritePlace::inside(const QDir& dir, const QString& relative)
{
    const QString path = dir.absoluteFilePath(relative);
    const QString root = dir.canonicalPath();
    if (!relative.isEmpty() && !relative.startsWith(QLatin1Char('/'))
        && !relative.split(QLatin1Char('/')).contains(QStringLiteral("..")) && !root.isEmpty()
        && resolved(path).startsWith(root + QLatin1Char('/')))
        return path;
    leftAlone(dir, relative, "it is not inside that folder");
    return QString();
}

BackupWritePlace::BackupWritePlace(
    const BackupWriteFolder& folder, const QString& path, const QByteArray& tempSuffix)
    : m_folder(folder)
    , m_dir(folder.dir())
    , m_path(folder.dir().absoluteFilePath(path))
    , m_relative(folder.dir().relativeFilePath(path))
    , m_tempSuffix(tempSuffix)
{
    const BackupWriteFolder::Parent p = folder.parentOf(m_path);
    m_leaf = p.name();
    m_reached = p.fd() >= 0;
    noteUnreached(p);
}

BackupWritePlace::~BackupWritePlace() = default;

void BackupWritePlace::noteUnreached(const BackupWriteFolder::Parent& p)
{
    if (p.fd() >= 0 || (!p.swapped() && p.error() == ENOENT))
        return;
    if (!p.swapped()) {
        m_failed = true;
        cannot(QStringLiteral("open the folder of %1").arg(m_relative), p.error());
    } else if (!m_blocked)
        leftAlone(m_dir, m_relative,
            p.error() == ENOTDIR || p.error() == ELOOP ? "a link or a file stands on its way there"
                                                       : "a folder on its way there is not the one it was");
    // Swapped since it was first reached: what was decided there is not carried out.
    m_failed = m_failed || (m_reached && p.swapped());
    m_blocked = m_blocked || p.swapped();
}

BackupWriteFolder::Parent BackupWritePlace::here()
{
    BackupWriteFolder::Parent p = m_folder.parentOf(m_path);
    noteUnreached(p);
    return p;
}

QByteArray BackupWritePlace::suffixOf(const char* suffix) const
{
    return std::strcmp(suffix, kTemp) == 0 ? m_tempSuffix : QByteArray(suffix);
}

QString BackupWritePlace::folder() const
{
    const int slash = m_relative.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : m_relative.left(slash);
}

BackupWritePlace::Kind BackupWritePlace::kind(const char* suffix, struct stat* st)
{
    struct stat own;
    st = st ? st : &own;
    const BackupWriteFolder::Parent p = here();
    if (p.fd() < 0 || ::fstatat(p.fd(), name(suffix).constData(), st, AT_SYMLINK_NOFOLLOW) != 0) {
        m_failed = m_failed || (p.fd() >= 0 && errno != ENOENT);
        return Absent;
    }
    return S_ISREG(st->st_mode) ? Regular : Other;
}

bool BackupWritePlace::changeable(const char* suffix)
{
    const Kind k = kind(suffix);
    if (k == Other && !m_logged.contains(name(suffix))) {
        m_logged.append(name(suffix));
        leftAlone(m_dir, shown(suffix), "it is not a regular file");
    }
    return k == Regular;
}

bool BackupWritePlace::remove(const char* suffix)
{
    if (!changeable(suffix))
        return !m_failed;
    BackupWriteNames::announce();
    changed();
    const BackupWriteFolder::Parent p = here();
    if (p.fd() >= 0 && (::unlinkat(p.fd(), name(suffix).constData(), 0) == 0 || errno == ENOENT))
        return true;
    if (p.fd() < 0)
        return false;
    const int error = errno; // before the text is built, which may change it
    cannot(QStringLiteral("remove %1").arg(shown(suffix)), error);
    return false;
}

bool BackupWritePlace::move(const char* from, const char* to)
{
    struct stat st;
    if (!changeable(from) || (kind(to, &st) != Absent && S_ISDIR(st.st_mode)))
        return false;
    BackupWriteNames::announce();
    changed();
    const BackupWriteFolder::Parent p = here();
    if (p.fd() < 0)
        return false;
    if (::renameat(p.fd(), name(from).constData(), p.fd(), name(to).constData()) == 0)
        return true;
    const int error = errno;
    cannot(QStringLiteral("rename %1 to %2").arg(shown(from), shown(to)), error);
    return false;
}

bool BackupWritePlace::putBack()
{
    if (sameFile(kAside, kTarget))
        return remove(kAside); // a second name of the old file: it is in place already
    if (has(kTarget) && !changeable(kTarget))
        return !m_failed;
    return move(kAside, kTarget);
}

ContentDigest::Sum BackupWritePlace::sum(const char* suffix, ContentDigest::Kind digest)
{
    const QByteArray key = name(suffix) + char('0' + int(digest));
    if (m_sums.contains(key))
        return m_sums.value(key);
    if (kind(suffix) != Regular)
        return {};
    const BackupWriteFolder::Parent p = here();
    const int fd = p.fd() < 0
        ? -1
        : ::openat(p.fd(), name(suffix).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    QFile in;
    if (fd < 0 || !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = p.fd() < 0 ? p.error() : fd < 0 ? errno : EIO;
        if (fd >= 0)
            ::close(fd);
        m_failed = true;
        cannot(QStringLiteral("read %1").arg(shown(suffix)), error);
        return {};
    }
    const ContentDigest::Sum s = ContentDigest::of(in, digest);
    if (!s.known())
        cannot(QStringLiteral("read %1").arg(shown(suffix)), in.errorString());
    m_failed = m_failed || !s.known();
    m_sums.insert(key, s);
    return s;
}

ino_t BackupWritePlace::inode(const char* suffix)
{
    struct stat st;
    return kind(suffix, &st) == Absent ? 0 : st.st_ino;
}

bool BackupWritePlace::sameFile(const char* a, const char* b)
{
    struct stat sa;
    struct stat sb;
    return kind(a, &sa) == Regular && kind(b, &sb) == Regular && sa.st_ino == sb.st_ino
        && sa.st_dev == sb.st_dev;
}

bool BackupWritePlace::sync()
{
    // A folder settling removed (one the write made) has nothing left to write: some file systems
    // (FUSE) say so with ENOENT.
    const BackupWriteFolder::Parent p = here();
    if (p.fd() < 0)
        return !p.swapped();
    if (::fsync(p.fd()) == 0 || errno == ENOENT)
        return true;
    const int error = errno;
    cannot(QStringLiteral("write the folder of %1 to the disk").arg(m_relative), error);
    return false;
}

void BackupWritePlace::removeFolder()
{
    struct stat st;
    if (kind(kTarget, &st) != Absent && S_ISDIR(st.st_mode))
        m_folder.removeEmptyFolder(m_path);
}
