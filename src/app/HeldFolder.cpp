#include "app/HeldFolder.h"

#include "app/FileNameFit.h"
#include "app/PathWalk.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

struct HeldFolder::Node {
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    QString path;
    std::shared_ptr<const Node> parent; // none for a folder opened by its path
    QByteArray name; // in parent

    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace
{

// A folder that may not be read can still be walked through and written into.
int openFolder(int at, const char* name, int follow)
{
    const int flags = O_DIRECTORY | O_CLOEXEC | follow;
    int fd = ::openat(at, name, O_RDONLY | flags);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(at, name, O_PATH | flags);
    // O_NOFOLLOW meets a link as ELOOP: it is no folder to go into.
    if (fd < 0 && errno == ELOOP)
        errno = ENOTDIR;
    return fd;
}

bool isOnePart(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/');
}

bool removeTreeAt(int dir, const char* name)
{
    if (::unlinkat(dir, name, 0) == 0)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* list = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!list) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(list))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            removeTreeAt(::dirfd(list), entry->d_name);
    ::closedir(list);
    return ::unlinkat(dir, name, AT_REMOVEDIR) == 0;
}

} // namespace

HeldFolder::HeldFolder(std::shared_ptr<const Node> node)
    : m_node(std::move(node))
{
}

QByteArray HeldFolder::native(const QString& name)
{
    return QFile::encodeName(name);
}

void HeldFolder::allowDeepWalks()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? 65536 : std::min<rlim_t>(limit.rlim_max, 65536);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

HeldFolder HeldFolder::open(const QString& path, QString* refused)
{
    const QString given = PathWalk::absolute(path);
    PathWalk walk;
    if (!walk.walk(given, true)) {
        if (refused)
            *refused = walk.refusal();
        return HeldFolder();
    }
    if (!walk.found())
        return errno = ENOENT, HeldFolder();
    // Named as given (the user's links kept), unless it goes up: then where the walk went.
    return opened(walk.last(), PathWalk::goesUp(given) ? walk.filePath() : QDir::cleanPath(given));
}

HeldFolder HeldFolder::openWalked(const PathWalk& walk, const QString& path)
{
    return opened(walk.folder(), path);
}

// The folder at fd (which may be open for its path only), held.
HeldFolder HeldFolder::opened(int fd, const QString& path)
{
    auto node = std::make_shared<Node>();
    node->path = path;
    node->fd = openFolder(fd, ".", 0);
    struct stat st;
    if (node->fd < 0 || ::fstat(node->fd, &st) != 0)
        return HeldFolder();
    node->dev = st.st_dev;
    node->ino = st.st_ino;
    return HeldFolder(std::move(node));
}

int HeldFolder::fd() const
{
    return m_node ? m_node->fd : -1;
}

QString HeldFolder::path() const
{
    return m_node ? m_node->path : QString();
}

QString HeldFolder::filePath(const QString& name) const
{
    const QString folder = path();
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

dev_t HeldFolder::device() const
{
    return m_node ? m_node->dev : 0;
}

ino_t HeldFolder::inode() const
{
    return m_node ? m_node->ino : 0;
}

HeldFolder HeldFolder::sub(const QString& name) const
{
    const QByteArray part = native(name);
    if (!m_node || !isOnePart(part)) {
        errno = m_node ? EINVAL : EBADF;
        return HeldFolder();
    }
    auto node = std::make_shared<Node>();
    node->fd = openFolder(m_node->fd, part.constData(), O_NOFOLLOW);
    struct stat st;
    if (node->fd < 0 || ::fstat(node->fd, &st) != 0)
        return HeldFolder();
    node->dev = st.st_dev;
    node->ino = st.st_ino;
    node->path = filePath(name);
    node->parent = m_node;
    node->name = part;
    return HeldFolder(std::move(node));
}

HeldFolder HeldFolder::subPath(const QByteArray& relative) const
{
    HeldFolder at = *this;
    for (const QByteArray& part : relative.split('/'))
        if (at.isValid())
            at = at.sub(QFile::decodeName(part));
    return at;
}

HeldFolder HeldFolder::make(const QString& name, bool* made) const
{
    if (made)
        *made = false;
    const QByteArray part = native(name);
    if (!m_node || !isOnePart(part))
        return sub(name); // which says why
    const bool madeNow = ::mkdirat(m_node->fd, part.constData(), 0777) == 0;
    if (!madeNow && errno != EEXIST)
        return HeldFolder();
    if (made)
        *made = madeNow;
    return sub(name);
}

bool HeldFolder::relativeTo(const HeldFolder& ancestor, QByteArray* relative) const
{
    QByteArray way;
    for (const Node* n = m_node.get(); n; n = n->parent.get()) {
        if (n == ancestor.m_node.get()) {
            *relative = way;
            return !way.isEmpty();
        }
        way = way.isEmpty() ? n->name : n->name + '/' + way;
    }
    return false;
}

bool HeldFolder::lstat(const QString& name, struct stat* st) const
{
    if (!m_node)
        return errno = EBADF, false;
    return ::fstatat(m_node->fd, native(name).constData(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool HeldFolder::has(const QString& name) const
{
    struct stat st;
    return lstat(name, &st);
}

QStringList HeldFolder::entries() const
{
    QStringList names;
    const int fd = m_node ? ::openat(m_node->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* list = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!list) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(list))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
    ::closedir(list);
    return names;
}

QString HeldFolder::freeName(const QString& name) const
{
    return FileNameFit::freeName(name, [this](const QString& candidate) { return has(candidate); });
}

bool HeldFolder::setTime(const QString& name, qint64 secs) const
{
    const struct timespec times[2] = { { time_t(secs), 0 }, { time_t(secs), 0 } };
    return m_node && ::utimensat(m_node->fd, native(name).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool HeldFolder::removeIfSame(const QString& name, dev_t dev, ino_t ino) const
{
    struct stat st;
    if (!lstat(name, &st) || st.st_dev != dev || st.st_ino != ino)
        return false;
    return ::unlinkat(m_node->fd, native(name).constData(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0;
}

bool HeldFolder::removeTree(const QString& name) const
{
    const QByteArray part = native(name);
    return m_node && isOnePart(part) && removeTreeAt(m_node->fd, part.constData());
}

bool HeldFolder::inPlace(QString* moved) const
{
    struct stat st;
    for (const Node* n = m_node.get(); n; n = n->parent.get()) {
        const bool there = n->parent
            ? ::fstatat(n->parent->fd, n->name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            : ::stat(native(n->path).constData(), &st) == 0;
        if (!there || !S_ISDIR(st.st_mode) || st.st_dev != n->dev || st.st_ino != n->ino) {
            if (moved)
                *moved = n->path;
            return false;
        }
    }
    return true;
}
