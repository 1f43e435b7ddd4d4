#include "backup/write/BackupWriteFolder.h"

#include "app/PathWalk.h"
#include "app/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Told for a folder on the way that is not the one first seen there.
constexpr int kOtherFolder = ESTALE;

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

int createFile(int dir, const char* name, int flags, mode_t mode)
{
    return ::openat(dir, name, flags, mode);
}

BackupWriteFolder::CreateCall& createCall()
{
    static BackupWriteFolder::CreateCall call = createFile;
    return call;
}

// The name of to beside from, in the same folder; empty (errno EXDEV) when it is elsewhere.
QByteArray besideOf(const QString& from, const QString& to)
{
    if (QFileInfo(from).absolutePath() == QFileInfo(to).absolutePath())
        return QFile::encodeName(QFileInfo(to).fileName());
    errno = EXDEV;
    return QByteArray();
}

} // namespace

BackupWriteFolder::Parent::Parent(Parent&& o) noexcept
    : m_fd(std::exchange(o.m_fd, -1))
    , m_owned(std::exchange(o.m_owned, false))
    , m_name(std::move(o.m_name))
    , m_error(o.m_error)
    , m_swapped(o.m_swapped)
    , m_folder(std::move(o.m_folder))
{
}

BackupWriteFolder::Parent::~Parent()
{
    if (m_owned)
        ::close(m_fd);
}

BackupWriteFolder::BackupWriteFolder(const QDir& dir)
    : m_dir(dir.absolutePath())
{
    // Reached as every export reaches its folder: the way walked from held folders, the user's own
    // links followed, another user's in a folder everyone may write into refused.
    PathWalk walk;
    const bool walked = walk.walk(m_dir.absolutePath(), true);
    if (walked && walk.found())
        m_fd = ::openat(walk.last(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    else if (walked)
        errno = ENOENT;
    m_refusal = walk.refusal();
    struct stat st;
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0) {
        m_dev = st.st_dev;
        m_ino = st.st_ino;
    }
    m_openError = m_fd < 0 ? errno : 0;
}

BackupWriteFolder::~BackupWriteFolder()
{
    for (const Held& h : m_held)
        ::close(h.fd);
    if (m_fd >= 0)
        ::close(m_fd);
}

QString BackupWriteFolder::whyNotOpen() const
{
    if (!m_refusal.isEmpty())
        return QStringLiteral("Cannot write into the backup in %1: %2.")
            .arg(QDir::toNativeSeparators(m_dir.absolutePath()), m_refusal);
    return QStringLiteral("Cannot open %1. %2")
        .arg(QDir::toNativeSeparators(m_dir.absolutePath()),
            QString::fromLocal8Bit(std::strerror(m_openError)));
}

bool BackupWriteFolder::partsOf(const QString& path, QList<QByteArray>& parts) const
{
    const QString relative = m_dir.relativeFilePath(path);
    parts.clear();
    for (const QByteArray& part : QFile::encodeName(relative).split('/')) {
        if (part == "..")
            return false;
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return !QDir::isAbsolutePath(relative);
}

BackupWriteFolder::Parent BackupWriteFolder::walk(const QList<QByteArray>& parts) const
{
    Parent p;
    p.m_fd = m_fd;
    for (const QByteArray& part : parts) {
        p.m_folder += (p.m_folder.isEmpty() ? "" : "/") + part;
        const int next = ::openat(p.m_fd, part.constData(), kFolderFlags);
        int error = next < 0 ? errno : 0;
        struct stat st;
        if (next >= 0 && ::fstat(next, &st) != 0)
            error = errno;
        const auto seen = m_seen.constFind(p.m_folder);
        if (error == 0 && seen == m_seen.cend())
            m_seen.insert(p.m_folder, { st.st_dev, st.st_ino });
        else if (error == 0 && (seen->first != st.st_dev || seen->second != st.st_ino))
            error = kOtherFolder;
        else if (error == ENOENT && seen != m_seen.cend())
            error = kOtherFolder; // reached before, and moved away since
        if (p.m_owned)
            ::close(p.m_fd);
        p.m_fd = next;
        p.m_owned = next >= 0;
        if (error != 0) {
            if (p.m_owned)
                ::close(next);
            p.m_fd = -1;
            p.m_owned = false;
            p.m_error = error;
            p.m_swapped = error == ELOOP || error == ENOTDIR || error == kOtherFolder;
            return p;
        }
    }
    p.m_folder.clear();
    return p;
}

BackupWriteFolder::Parent BackupWriteFolder::parentOf(const QString& path) const
{
    QList<QByteArray> parts;
    if (m_fd < 0 || !partsOf(path, parts) || parts.isEmpty()) {
        Parent p;
        p.m_error = m_fd < 0 ? EBADF : EINVAL;
        return p;
    }
    const QByteArray name = parts.takeLast();
    Parent p = walk(parts);
    p.m_name = name;
    return p;
}

BackupWriteFolder::Parent BackupWriteFolder::folderAt(const QString& path) const
{
    QList<QByteArray> parts;
    if (m_fd < 0 || !partsOf(path, parts)) {
        Parent p;
        p.m_error = m_fd < 0 ? EBADF : EINVAL;
        return p;
    }
    return walk(parts);
}

BackupWriteFolder::Parent BackupWriteFolder::reach(const QString& path) const
{
    Parent p = parentOf(path);
    if (p.swapped())
        throw std::runtime_error(swappedText(p).toStdString());
    errno = p.error();
    return p;
}

QString BackupWriteFolder::swappedText(const Parent& p) const
{
    const QString folder = QDir::toNativeSeparators(m_dir.absoluteFilePath(QFile::decodeName(p.folder())));
    const QString dir = QDir::toNativeSeparators(m_dir.absolutePath());
    if (!p.swapped() || p.error() == kOtherFolder)
        return QStringLiteral(
            "Cannot write into the backup in %1: another program moved or replaced the folder "
            "%2 while this write was under way.")
            .arg(dir, folder);
    return QStringLiteral("Cannot write into the backup in %1: %2 is a link or a file, not a folder.")
        .arg(dir, folder);
}

QString BackupWriteFolder::changedFolder() const
{
    PathWalk way;
    if (!way.walk(m_dir.absolutePath(), true) || !way.found() || way.stat().st_dev != m_dev
        || way.stat().st_ino != m_ino)
        return QStringLiteral("Cannot write into the backup in %1: another program moved that folder or put "
                              "another in its place while this write was under way.")
            .arg(QDir::toNativeSeparators(m_dir.absolutePath()));
    const QList<QByteArray> seen = m_seen.keys();
    for (const QByteArray& folder : seen) {
        const Parent p = walk(folder.split('/'));
        if (p.fd() < 0)
            return swappedText(p);
    }
    return QString();
}

BackupWriteNames::Stamp BackupWriteFolder::stampOf(const QString& path) const
{
    const Parent p = reach(path);
    struct stat st;
    return p.fd() >= 0 && ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        ? BackupWriteNames::stampOf(st)
        : BackupWriteNames::Stamp();
}

bool BackupWriteFolder::present(const QString& path) const
{
    return stampOf(path).present();
}

bool BackupWriteFolder::isLink(const QString& path) const
{
    const Parent p = reach(path);
    struct stat st;
    return p.fd() >= 0 && ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISLNK(st.st_mode);
}

bool BackupWriteFolder::openRead(QFile& file, const QString& path, QString* why) const
{
    const Parent p = reach(path);
    if (p.fd() < 0 && why)
        *why = QString::fromLocal8Bit(std::strerror(p.error()));
    return p.fd() >= 0 && RegularFile::openReadAt(file, p.fd(), p.name(), why, false);
}

bool BackupWriteFolder::lockedByAnother(const QString& path, off_t start, off_t length) const
{
    const Parent p = reach(path);
    const int fd = p.fd() < 0
        ? -1
        : ::openat(p.fd(), p.name().constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    const bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

bool BackupWriteFolder::renamedIn(
    const Parent& p, const QByteArray& from, const QByteArray& to, unsigned int flags)
{
    return ::renameat2(p.fd(), from.constData(), p.fd(), to.constData(), flags) == 0;
}

bool BackupWriteFolder::link(const QString& from, const QString& to) const
{
    BackupWriteNames::announce();
    const Parent p = reach(from);
    const QByteArray name = besideOf(from, to);
    return p.fd() >= 0 && !name.isEmpty()
        && BackupWriteNames::linkAt(p.fd(), p.name().constData(), p.fd(), name.constData()) == 0;
}

bool BackupWriteFolder::rename(const QString& from, const QString& to) const
{
    BackupWriteNames::announce();
    const Parent p = reach(from);
    const QByteArray name = besideOf(from, to);
    return p.fd() >= 0 && !name.isEmpty() && renamedIn(p, p.name(), name, 0);
}

bool BackupWriteFolder::removeIfPresent(const QString& path) const
{
    if (!present(path))
        return errno == ENOENT || errno == 0;
    BackupWriteNames::announce();
    const Parent p = reach(path);
    return p.fd() >= 0 && (::unlinkat(p.fd(), p.name().constData(), 0) == 0 || errno == ENOENT);
}

bool BackupWriteFolder::renameNoReplace(
    const QString& from, const QString& to, const std::function<void()>& lastCheck) const
{
    BackupWriteNames::announce();
    if (lastCheck)
        lastCheck();
    const Parent p = reach(from);
    const QByteArray name = besideOf(from, to);
    if (p.fd() < 0 || name.isEmpty())
        return false;
    if (renamedIn(p, p.name(), name, RENAME_NOREPLACE))
        return true;
    if (!unsupported(errno))
        return false;
    // A file system without that kind of rename: the folder is held, nothing else writes the name.
    struct stat st;
    if (::fstatat(p.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return renamedIn(p, p.name(), name, 0);
}

BackupWriteNames::Put BackupWriteFolder::replace(
    const QString& from, const QString& to, const std::function<void()>& lastCheck) const
{
    BackupWriteNames::announce();
    if (lastCheck)
        lastCheck();
    const Parent p = reach(from);
    const QByteArray name = besideOf(from, to);
    if (p.fd() < 0 || name.isEmpty())
        return BackupWriteNames::Put::Failed;
    if (renamedIn(p, p.name(), name, RENAME_EXCHANGE))
        return BackupWriteNames::Put::Exchanged;
    if (!unsupported(errno))
        return BackupWriteNames::Put::Failed;
    return renamedIn(p, p.name(), name, 0) ? BackupWriteNames::Put::Renamed : BackupWriteNames::Put::Failed;
}

bool BackupWriteFolder::exchange(const QString& a, const QString& b) const
{
    BackupWriteNames::announce();
    const Parent p = reach(a);
    const QByteArray name = besideOf(a, b);
    return p.fd() >= 0 && !name.isEmpty() && renamedIn(p, p.name(), name, RENAME_EXCHANGE);
}

mode_t BackupWriteFolder::modeOf(const QString& path) const
{
    const Parent p = reach(path);
    struct stat st;
    if (p.fd() >= 0 && ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        return st.st_mode & 0777;
    return 0600;
}

BackupWriteFolder::CreateCall BackupWriteFolder::setCreateCall(CreateCall call)
{
    return std::exchange(createCall(), call ? call : createFile);
}

int BackupWriteFolder::createOwnFd(const QString& path, mode_t mode) const
{
    if (!removeIfPresent(path))
        return -1;
    const Parent p = reach(path);
    if (p.fd() < 0)
        return -1;
    const int fd = createCall()(
        p.fd(), p.name().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
        const int error = errno;
        noteOwn(p, QFile::encodeName(m_dir.relativeFilePath(QFileInfo(path).absolutePath())), fd);
        errno = error;
    }
    return fd;
}

void BackupWriteFolder::noteOwn(const Parent& p, const QByteArray& folder, int fd) const
{
    struct stat dir;
    struct stat file;
    if (::fstat(p.fd(), &dir) != 0 || ::fstat(fd, &file) != 0)
        return;
    auto held = std::find_if(m_held.begin(), m_held.end(),
        [&](const Held& h) { return h.dev == dir.st_dev && h.ino == dir.st_ino; });
    if (held == m_held.end()) {
        const int copy = ::fcntl(p.fd(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            return;
        m_held.push_back({ copy, dir.st_dev, dir.st_ino, folder == "." ? QByteArray() : folder });
        held = m_held.end() - 1;
    }
    m_own.push_back({ int(held - m_held.begin()), p.name(), file.st_dev, file.st_ino });
}

void BackupWriteFolder::removeStrayOwn() const
{
    for (const Own& own : m_own) {
        const Held& h = m_held[std::size_t(own.held)];
        if (h.folder.isEmpty())
            continue; // the held backup folder itself: settling reaches it
        const Parent now = walk(h.folder.split('/'));
        struct stat st;
        if (now.fd() >= 0 && ::fstat(now.fd(), &st) == 0 && st.st_dev == h.dev && st.st_ino == h.ino)
            continue;
        if (::fstatat(h.fd, own.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != own.dev
            || st.st_ino != own.ino)
            continue; // gone, or another file in its place: not this write's to remove
        BackupWriteNames::announce();
        const QString name = QFile::decodeName(h.folder + '/' + own.name);
        if (::unlinkat(h.fd, own.name.constData(), 0) == 0)
            qInfo("Removed %s, made by the write into %s, from that folder where another program moved it.",
                qUtf8Printable(name), qUtf8Printable(m_dir.absolutePath()));
        else
            qWarning("Cannot remove %s, made by the write into %s, from that folder where another program "
                     "moved it. %s",
                qUtf8Printable(name), qUtf8Printable(m_dir.absolutePath()), std::strerror(errno));
    }
}

bool BackupWriteFolder::createOwn(QFile& file, const QString& path, mode_t mode) const
{
    const int fd = createOwnFd(path, mode);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    errno = EIO;
    return false;
}

bool BackupWriteFolder::freeAsideName(const QString& target) const
{
    const QString aside = BackupWriteNames::asideOf(target);
    const BackupWriteNames::Stamp a = stampOf(aside);
    if (!a.present())
        return errno == ENOENT;
    struct stat st;
    const Parent p = reach(aside);
    const bool regular = p.fd() >= 0 && ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode);
    if (regular && stampOf(target).sameFile(a))
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

bool BackupWriteFolder::makeFolder(const QString& path) const
{
    // Seen from here on (one reached before is not made anew where another program moved it away),
    // so that the write tells one moved away later from one never there.
    if (const Parent f = folderAt(path); f.swapped() && f.error() == kOtherFolder)
        throw std::runtime_error(swappedText(f).toStdString());
    const Parent p = reach(path);
    if (p.fd() < 0)
        return false;
    if (::mkdirat(p.fd(), p.name().constData(), 0777) == 0) {
        const Parent made = folderAt(path);
        if (made.swapped())
            throw std::runtime_error(swappedText(made).toStdString());
        errno = made.error();
        return made.fd() >= 0;
    }
    struct stat st;
    if (errno != EEXIST || ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return true;
    errno = ENOTDIR;
    return false;
}

void BackupWriteFolder::removeEmptyFolder(const QString& path) const
{
    const Parent p = parentOf(path);
    struct stat st;
    if (p.fd() < 0 || ::fstatat(p.fd(), p.name().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISDIR(st.st_mode))
        return;
    // Only when empty: what else is there stays.
    if (::unlinkat(p.fd(), p.name().constData(), AT_REMOVEDIR) != 0)
        return;
    const QByteArray folder = QFile::encodeName(m_dir.relativeFilePath(path));
    m_seen.remove(folder);
}

bool BackupWriteFolder::syncFile(const QString& path) const
{
    const Parent p = reach(path);
    const int fd = p.fd() < 0
        ? -1
        : ::openat(p.fd(), p.name().constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = BackupWriteNames::syncFd(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool BackupWriteFolder::syncFolder(const QString& path) const
{
    const Parent p = folderAt(path);
    if (p.swapped())
        throw std::runtime_error(swappedText(p).toStdString());
    errno = p.error();
    return p.fd() >= 0 && BackupWriteNames::syncFd(p.fd());
}
