#include "app/PathWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/openat2.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
// As the system: more links than this on one way is a loop.
constexpr int kMaxLinks = 40;

// Puts the parts of path on rest, the first last; a path that ends in '/' ends at a folder.
void pushParts(std::vector<QByteArray>& rest, const QByteArray& path)
{
    const QList<QByteArray> parts = path.split('/');
    if (path.endsWith('/') && path.size() > 1)
        rest.emplace_back(".");
    for (auto it = parts.crbegin(); it != parts.crend(); ++it)
        if (!it->isEmpty())
            rest.push_back(*it);
}

// The user's name, or their number when the system knows no name for it.
QString userName(uid_t uid)
{
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name
        && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("user id %1").arg(uid);
}

// "The file <path> stands in a folder everyone may write into and belongs to another user (<name>)"
// where the system's rules for shared folders keep entry from being followed or opened; else empty.
// Those for files and FIFOs hold where the folder's group may write too (as Debian keeps the rule for
// files), the one for links only where everyone may.
QString sharedEntryText(const struct stat& folder, const struct stat& entry, const QString& path)
{
    const bool everyone = folder.st_mode & S_IWOTH;
    const bool group = (folder.st_mode & S_IWGRP) && !S_ISLNK(entry.st_mode);
    if (!(folder.st_mode & S_ISVTX) || !(everyone || group) || entry.st_uid == ::geteuid()
        || entry.st_uid == folder.st_uid)
        return QString();
    const QString what = S_ISLNK(entry.st_mode) ? QStringLiteral("the link %1")
        : S_ISFIFO(entry.st_mode)               ? QStringLiteral("the FIFO %1")
        : S_ISREG(entry.st_mode)                ? QStringLiteral("the file %1")
                                                : QString();
    if (what.isEmpty())
        return QString(); // no rule of the system's keeps a device or a socket
    return QStringLiteral("%1 stands in a folder %2 may write into and belongs to another user (%3)")
        .arg(what.arg(QDir::toNativeSeparators(path)),
            everyone ? QStringLiteral("everyone") : QStringLiteral("its group"), userName(entry.st_uid));
}
} // namespace

PathWalk::~PathWalk()
{
    const int error = errno; // what a failed walk set stays for its caller
    close();
    errno = error;
}

void PathWalk::close()
{
    if (m_folder >= 0)
        ::close(m_folder);
    if (m_last >= 0)
        ::close(m_last);
    m_folder = m_last = -1;
}

QString PathWalk::folderPath() const
{
    return QFile::decodeName(m_path);
}

QString PathWalk::filePath() const
{
    return QFile::decodeName(m_name == "." ? m_path : pathOf(m_name));
}

bool PathWalk::walk(const QString& path, bool followLast)
{
    close();
    m_name.clear();
    m_links = 0;
    m_refusal.clear();
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return errno = ENOENT, false;
    std::vector<QByteArray> rest; // the parts still to walk, the next one last
    if (!startNear(native, rest)) {
        if (!start(native.startsWith('/')))
            return false;
        pushParts(rest, native);
    }
    while (!rest.empty()) {
        const QByteArray part = std::move(rest.back());
        rest.pop_back();
        const bool last = rest.empty();
        if (part == "." || part == "..") {
            if (part == ".." && !up())
                return false;
            if (last)
                return endHere();
            continue;
        }
        const Step step = take(part, last && !followLast, rest);
        if (step != Step::On)
            return step == Step::Ended;
    }
    return endHere();
}

// One part of the way, in the folder walked to: a link is followed unless keep, a folder entered;
// the way ends at the last part, whatever stands there, or at none.
PathWalk::Step PathWalk::take(const QByteArray& part, bool keep, std::vector<QByteArray>& rest)
{
    const bool last = rest.empty();
    const int fd = ::openat(m_folder, part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        m_name = part;
        return errno == ENOENT && last ? Step::Ended : Step::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return Step::Failed;
    }
    if (S_ISLNK(st.st_mode) && !keep) {
        const bool ok = follow(fd, st, part, rest);
        ::close(fd);
        return ok ? Step::On : Step::Failed;
    }
    if (last) {
        m_name = part;
        m_last = fd;
        m_st = st;
        return Step::Ended;
    }
    if (!S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = ENOTDIR;
        return Step::Failed;
    }
    enter(fd, part);
    return Step::On;
}

// Where no link stands on the way to the folder of an absolute path's last part (as on most ways),
// that folder is opened in one call, which the system refuses when it meets a link: then, or where
// the system has no such call, the walk goes part by part.
bool PathWalk::startNear(const QByteArray& path, std::vector<QByteArray>& rest)
{
#ifdef SYS_openat2
    if (!path.startsWith('/') || path.endsWith('/'))
        return false;
    for (const QByteArray& part : path.mid(1).split('/'))
        if (part.isEmpty() || part == "." || part == "..")
            return false;
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : path.left(slash);
    struct open_how how = {};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const int fd = int(::syscall(SYS_openat2, AT_FDCWD, folder.constData(), &how, sizeof how));
    if (fd < 0)
        return false;
    m_folder = fd;
    m_path = folder;
    rest.push_back(path.mid(slash + 1));
    return true;
#else
    Q_UNUSED(path);
    Q_UNUSED(rest);
    return false;
#endif
}

bool PathWalk::start(bool absolute)
{
    if (m_folder >= 0)
        ::close(m_folder);
    m_folder = ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    m_path = absolute ? QByteArray("/") : QFile::encodeName(QDir::currentPath());
    return m_folder >= 0;
}

// Goes on from the folder part, opened at fd.
void PathWalk::enter(int fd, const QByteArray& part)
{
    ::close(m_folder);
    m_folder = fd;
    m_path = pathOf(part);
}

bool PathWalk::up()
{
    const int fd = ::openat(m_folder, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(m_folder);
    m_folder = fd;
    const qsizetype slash = m_path.lastIndexOf('/');
    m_path = slash <= 0 ? QByteArray("/") : m_path.left(slash);
    return true;
}

// Puts the target of the link at fd (part, in the folder walked to) in its place on the way.
bool PathWalk::follow(int link, const struct stat& st, const QByteArray& part, std::vector<QByteArray>& rest)
{
    if (++m_links > kMaxLinks)
        return errno = ELOOP, false;
    struct stat folder;
    if (::fstat(m_folder, &folder) != 0)
        return false;
    m_refusal = refusalIn(folder, st, QFile::decodeName(pathOf(part)));
    if (!m_refusal.isEmpty())
        return errno = EACCES, false;
    char target[PATH_MAX];
    const ssize_t size = ::readlinkat(link, "", target, sizeof target);
    if (size < 0)
        return false;
    if (size == 0)
        return errno = ENOENT, false;
    if (size_t(size) == sizeof target)
        return errno = ENAMETOOLONG, false;
    const QByteArray text(target, size);
    pushParts(rest, text);
    return !text.startsWith('/') || start(true);
}

QString PathWalk::absolute(const QString& path)
{
    return QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
}

bool PathWalk::goesUp(const QString& path)
{
    return path.split(QLatin1Char('/')).contains(QLatin1String(".."));
}

QString PathWalk::refusalIn(const struct stat& folder, const struct stat& entry, const QString& path)
{
    const QString whose = sharedEntryText(folder, entry, path);
    if (whose.isEmpty())
        return QString();
    return QStringLiteral("%1: it is not %2, and nothing was written")
        .arg(whose, S_ISLNK(entry.st_mode) ? QStringLiteral("followed") : QStringLiteral("opened"));
}

QString PathWalk::readRefusal(const QString& path, int fd)
{
    struct stat folder, entry;
    const QByteArray name = QFile::encodeName(path);
    const QByteArray parent = QFile::encodeName(QFileInfo(path).absolutePath());
    if ((fd >= 0 ? ::fstat(fd, &entry) : ::lstat(name.constData(), &entry)) != 0
        || ::stat(parent.constData(), &folder) != 0)
        return QString();
    const QString whose = sharedEntryText(folder, entry, path);
    if (whose.isEmpty())
        return QString();
    return QStringLiteral("%1: it is not %2")
        .arg(whose, S_ISLNK(entry.st_mode) ? QStringLiteral("followed") : QStringLiteral("read"));
}

QString PathWalk::writeRefusal(const QString& path)
{
    PathWalk walk;
    struct stat folder;
    if (!walk.walk(path, true))
        return walk.refusal();
    if (!walk.found() || ::fstat(walk.folder(), &folder) != 0)
        return QString();
    return refusalIn(folder, walk.stat(), walk.filePath());
}

QByteArray PathWalk::pathOf(const QByteArray& part) const
{
    return m_path == "/" ? "/" + part : m_path + '/' + part;
}

// The path ends at the folder walked to: its last part is that folder itself.
bool PathWalk::endHere()
{
    m_name = ".";
    m_last = ::openat(m_folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return m_last >= 0 && ::fstat(m_last, &m_st) == 0;
}
