#include "app/sqlite/HeldFolderVfs.h"

#include "app/HeldFolder.h"
#include "app/PathWalk.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The folder's own entry in /proc: a lookup below it starts at the held folder itself.
constexpr char kPrefix[] = "/proc/self/fd/";
constexpr const char* kCompanions[] = { "", "-journal", "-wal", "-shm" };

thread_local QString t_refusal;
sqlite3_syscall_ptr g_open = nullptr;

// The folder descriptor and the name of a path pathOf() made; false for any other path.
bool heldParts(const char* path, int* folder, const char** name)
{
    if (std::strncmp(path, kPrefix, sizeof kPrefix - 1) != 0)
        return false;
    char* end = nullptr;
    const long fd = std::strtol(path + sizeof kPrefix - 1, &end, 10);
    if (end == path + sizeof kPrefix - 1 || *end != '/' || fd < 0 || fd > INT_MAX
        || std::strchr(end + 1, '/'))
        return false;
    *folder = int(fd);
    *name = end + 1;
    return **name != '\0';
}

// The folder's path, for texts only.
QString shownPath(int folder, const char* name)
{
    char target[PATH_MAX];
    const QByteArray link = kPrefix + QByteArray::number(folder);
    const ssize_t size = ::readlink(link.constData(), target, sizeof target - 1);
    const QByteArray at = size > 0 ? QByteArray(target, size) : link;
    return QFile::decodeName(at + '/' + name);
}

// Every open of SQLite's own layer passes here: one of a held folder's files is opened from it, and
// kept only when the rule allows it.
int heldOpen(const char* path, int flags, int mode)
{
    int folder = -1;
    const char* name = nullptr;
    if (!heldParts(path, &folder, &name))
        return reinterpret_cast<int (*)(const char*, int, int)>(g_open)(path, flags, mode);
    // Not blocking on a FIFO put there meanwhile; a file's reads and writes never block.
    const int fd = ::openat(folder, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode_t(mode));
    if (fd < 0)
        return fd;
    struct stat at, st;
    QString why;
    if (::fstat(folder, &at) != 0 || ::fstat(fd, &st) != 0)
        why = QString::fromLocal8Bit(std::strerror(errno));
    else if ((why = PathWalk::refusalIn(at, st, shownPath(folder, name))).isEmpty() && !S_ISREG(st.st_mode))
        why = HeldFolderVfs::notAFileText(shownPath(folder, name));
    if (why.isEmpty() && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        return fd;
    ::close(fd);
    t_refusal = why;
    errno = EACCES;
    return -1;
}

// SQLite's own layer would name a file by where the link to the held folder leads: the name stays.
int keepPathname(sqlite3_vfs*, const char* path, int size, char* out)
{
    const size_t length = std::strlen(path);
    if (length >= size_t(size))
        return SQLITE_CANTOPEN;
    std::memcpy(out, path, length + 1);
    return SQLITE_OK;
}

const char* registerVfs()
{
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    if (!base || base->iVersion < 3 || !base->xGetSystemCall || !base->xSetSystemCall)
        return nullptr;
    g_open = base->xGetSystemCall(base, "open");
    if (!g_open
        || base->xSetSystemCall(base, "open", reinterpret_cast<sqlite3_syscall_ptr>(&heldOpen)) != SQLITE_OK)
        return nullptr;
    static sqlite3_vfs held = *base;
    held.zName = "qm-held-folder";
    held.pNext = nullptr;
    held.xFullPathname = &keepPathname;
    return sqlite3_vfs_register(&held, 0) == SQLITE_OK ? held.zName : nullptr;
}
} // namespace

QString HeldFolderVfs::shownPath(const char* path)
{
    int folder = -1;
    const char* name = nullptr;
    return heldParts(path, &folder, &name) ? ::shownPath(folder, name) : QString::fromUtf8(path);
}

const char* HeldFolderVfs::name()
{
    static const char* const registered = registerVfs();
    return registered;
}

HeldFolder HeldFolderVfs::holdStoreThrow(const QString& path, QString* name, bool* stood)
{
    const QString absolute = PathWalk::absolute(path);
    PathWalk walk;
    if (!walk.walk(absolute, true) || walk.name() == ".") {
        const QString why = !walk.refusal().isEmpty() ? walk.refusal()
            : walk.name() == "."                      ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                                      : QString::fromLocal8Bit(std::strerror(errno));
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, why).toStdString());
    }
    const QFileInfo given(absolute);
    // Texts name the store as given, unless a link at its name led elsewhere.
    *name = QFile::decodeName(walk.name());
    const HeldFolder folder
        = HeldFolder::openWalked(walk, *name == given.fileName() ? given.path() : walk.folderPath());
    if (!folder.isValid())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                                     .toStdString());
    *stood = walk.found();
    return folder;
}

QString HeldFolderVfs::pathOf(const HeldFolder& folder, const QString& name)
{
    return QFile::decodeName(kPrefix + QByteArray::number(folder.fd()) + '/' + HeldFolder::native(name));
}

QString HeldFolderVfs::refusal(const HeldFolder& folder, const QString& name)
{
    struct stat at;
    if (::fstat(folder.fd(), &at) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    for (const char* suffix : kCompanions) {
        const QString each = name + QLatin1String(suffix);
        struct stat st;
        if (!folder.lstat(each, &st))
            continue;
        const QString shown = folder.filePath(each);
        const QString why = PathWalk::refusalIn(at, st, shown);
        if (!why.isEmpty())
            return why;
        if (!S_ISREG(st.st_mode))
            return notAFileText(shown);
    }
    return QString();
}

QString HeldFolderVfs::notAFileText(const QString& path)
{
    return QStringLiteral(
        "%1 is not a file but stands where SQLite looks for a file that goes with it. Move it "
        "away; then try again.")
        .arg(path);
}

QString HeldFolderVfs::takeRefusal()
{
    QString why;
    why.swap(t_refusal);
    return why;
}
