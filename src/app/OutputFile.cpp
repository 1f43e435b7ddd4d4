#include "app/OutputFile.h"

#include "app/RegularFile.h"
#include "app/WrittenDisks.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Small writes gather here; large ones go straight to the file.
constexpr qsizetype kBufferSize = 256 * 1024;
// What one kernel copy call moves at most, so progress is reported along the way.
constexpr size_t kCopyChunk = 16 * 1024 * 1024;
constexpr size_t kReadChunk = 1024 * 1024;
// Links followed at most before the name is taken as it is (a loop).
constexpr int kMaxLinks = 40;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether name is one of the temporaries this class makes: ".qm-", 16 hex digits, ".tmp".
bool isTempName(const char* name)
{
    const size_t length = std::strlen(name);
    if (length != 24 || std::strncmp(name, ".qm-", 4) != 0 || std::strcmp(name + 20, ".tmp") != 0)
        return false;
    return std::all_of(
        name + 4, name + 20, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Removes the temporary name in folder dir when no write holds it; the one locked is the one removed.
bool removeIfLeft(int dir, const char* name)
{
    struct stat held, named;
    // Never opened unless a file: a device or a FIFO of that name stays untouched.
    if (::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode))
        return false;
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool removed = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode)
        && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0
        && named.st_dev == held.st_dev && named.st_ino == held.st_ino && ::unlinkat(dir, name, 0) == 0;
    ::close(fd);
    return removed;
}
} // namespace

OutputFile::OutputFile(QString path)
    : m_path(std::move(path))
{
}

OutputFile::~OutputFile()
{
    if (!m_committed)
        discard();
}

bool OutputFile::open(OpenMode mode)
{
    if (isOpen())
        return false;
    m_errno = 0;
    m_committed = false;
    m_direct = false;
    m_done = 0;
    m_sourceFailed = false;
    if (!openTarget())
        return false;
    m_buffer.reserve(kBufferSize);
    return QIODevice::open(mode | Unbuffered);
}

bool OutputFile::openTarget()
{
    m_target = QFileInfo(m_path).absoluteFilePath();
    m_replaces = false;
    if (!m_followLinks)
        return openOwnName();
    for (int hops = 0; hops < kMaxLinks && QFileInfo(m_target).isSymLink(); ++hops)
        m_target = QFileInfo(m_target).symLinkTarget();
    const QByteArray target = native(m_target);
    struct stat st;
    if (::stat(target.constData(), &st) != 0)
        return errno == ENOENT ? openTemp(0) : setError(errno);
    if (!S_ISREG(st.st_mode)) {
        m_direct = true;
        m_fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
        return m_fd >= 0 || setError(errno);
    }
    return openReplacing(st.st_mode);
}

// A name this program makes: whatever stands there is looked at, never opened, so a FIFO or a
// device cannot make the write wait; a link is replaced, anything else but a file refused.
bool OutputFile::openOwnName()
{
    struct stat st;
    if (::lstat(native(m_target).constData(), &st) != 0)
        return errno == ENOENT ? openTemp(0) : setError(errno);
    if (S_ISLNK(st.st_mode))
        return openTemp(0);
    if (S_ISDIR(st.st_mode))
        return setError(EISDIR);
    if (!S_ISREG(st.st_mode)) {
        setError(EINVAL);
        setErrorString(RegularFile::notRegularText());
        return false;
    }
    return openReplacing(st.st_mode);
}

bool OutputFile::openReplacing(unsigned mode)
{
    // A file that may not be written stays as it is, although its folder would allow a rename.
    if (::faccessat(AT_FDCWD, native(m_target).constData(), W_OK, AT_EACCESS) != 0)
        return setError(errno);
    m_replaces = true;
    return openTemp(mode & 07777);
}

// mode 0: a new file, made as the umask says; otherwise the mode of the file it replaces.
bool OutputFile::openTemp(unsigned mode)
{
    const QString dir = QFileInfo(m_target).absolutePath();
    for (int attempt = 0; attempt < 64; ++attempt) {
        m_temp = dir
            + QStringLiteral("/.qm-%1.tmp")
                  .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        m_fd = ::open(native(m_temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0 && lockTemp())
            break;
        if (m_fd >= 0) {
            closeFd();
            continue;
        }
        if (errno != EEXIST) {
            const int error = errno;
            m_temp.clear();
            return setError(error);
        }
    }
    if (m_fd < 0) {
        m_temp.clear();
        return setError(EEXIST);
    }
    if (mode != 0)
        ::fchmod(m_fd, mode); // a kept mode is a courtesy; the content is what matters
    WrittenDisks::note(m_fd, m_target);
    return true;
}

// Locks the new temporary at m_fd; false when a run clearing leftovers took it first (it goes).
bool OutputFile::lockTemp()
{
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return true; // a file system without locks: written unlocked
        ::unlink(native(m_temp).constData());
        return false;
    }
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && st.st_nlink == 0)
        return false; // removed as a leftover in the moment before the lock
    m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    return true;
}

void OutputFile::unlockTemp()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

qint64 OutputFile::writeData(const char* data, qint64 size)
{
    if (m_fd < 0 || m_errno != 0)
        return -1;
    if (m_buffer.size() + size > kBufferSize) {
        if (!flushBuffer())
            return -1;
        if (size >= kBufferSize)
            return writeRaw(data, size) ? size : -1;
    }
    m_buffer.append(data, size);
    return size;
}

bool OutputFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return m_errno == 0;
    const bool ok = writeRaw(m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0);
    return ok;
}

bool OutputFile::writeRaw(const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(std::min<qint64>(size, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return setError(errno);
        }
        data += n;
        size -= n;
        m_done += n;
    }
    return true;
}

bool OutputFile::copyFrom(int fd, const Progress& progress)
{
    if (m_fd < 0 || !flushBuffer())
        return false;
    if (!m_direct) {
        // The kernel copies (or shares) the blocks; where it cannot, the bytes go through here.
        for (;;) {
            const ssize_t n = ::copy_file_range(fd, nullptr, m_fd, nullptr, kCopyChunk, 0);
            if (n == 0)
                return true;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                // Where the kernel cannot copy these files, and where it fails (its error does not
                // say whether in reading or in writing), reading and writing go on from here.
                break;
            }
            m_done += n;
            if (progress && !progress(m_done))
                return setError(ECANCELED);
        }
    }
    return copyByReading(fd, progress);
}

bool OutputFile::copyByReading(int fd, const Progress& progress)
{
    QByteArray buf(qsizetype(kReadChunk), Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), kReadChunk);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_sourceFailed = true;
            return setError(errno);
        }
        if (!writeRaw(buf.constData(), n))
            return false;
        if (progress && !progress(m_done))
            return setError(ECANCELED);
    }
}

bool OutputFile::commit()
{
    if (m_fd < 0) {
        discard();
        return m_errno == 0 ? setError(EBADF) : false;
    }
    bool ok = m_errno == 0 && flushBuffer();
    // What replaces a file is on the disk before the rename, so a crash leaves the old or the new.
    if (ok && m_replaces && !m_direct && ::fsync(m_fd) != 0)
        ok = setError(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && ok)
        ok = setError(errno);
    return renameIntoPlace(ok);
}

bool OutputFile::renameIntoPlace(bool ok)
{
    if (ok && m_replaces && !m_direct && !syncPath(QFileInfo(m_temp).absolutePath()))
        ok = setError(errno);
    if (ok && !m_direct && ::rename(native(m_temp).constData(), native(m_target).constData()) != 0)
        ok = setError(errno);
    if (!ok) {
        discard();
        return false;
    }
    m_temp.clear();
    unlockTemp();
    m_committed = true;
    QIODevice::close();
    return true;
}

bool OutputFile::commitWritten(const std::function<bool(const QString&)>& complete)
{
    closeFd();
    if (!isOpen())
        return false;
    if (!complete(writePath())) {
        // The writer does not say why it stopped: one more write to the same place does.
        int why = EIO;
        const int fd = m_direct ? -1 : ::open(native(m_temp).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const QByteArray zeros(64 * 1024, '\0');
        for (int i = 0; fd >= 0 && i < 64; ++i)
            if (::write(fd, zeros.constData(), size_t(zeros.size())) < 0) {
                why = errno;
                break;
            }
        if (fd >= 0)
            ::close(fd);
        setError(why);
        discard();
        return false;
    }
    return renameIntoPlace(true);
}

void OutputFile::discard()
{
    closeFd();
    if (!m_temp.isEmpty()) {
        ::unlink(native(m_temp).constData());
        m_temp.clear();
    }
    unlockTemp();
    m_buffer.clear();
    if (isOpen())
        QIODevice::close();
}

void OutputFile::closeFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool OutputFile::setError(int error)
{
    m_errno = error;
    setErrorString(systemText(error));
    return false;
}

QString OutputFile::failure() const
{
    return QStringLiteral("Can not write %1: %2").arg(m_path, errorString());
}

bool OutputFile::copy(
    const QString& from, const QString& to, QString* error, const Progress& progress, bool followLinks)
{
    const int in = ::open(native(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error)
            *error = QStringLiteral("Can not read %1: %2").arg(from, systemText(errno));
        return false;
    }
    OutputFile out(to);
    out.setFollowLinks(followLinks);
    const bool ok = out.open(WriteOnly) && out.copyFrom(in, progress) && out.commit();
    ::close(in);
    if (!ok && error)
        *error = out.m_sourceFailed ? QStringLiteral("Can not read %1: %2").arg(from, out.errorString())
                                    : out.failure();
    return ok;
}

int OutputFile::removeLeftovers(const QString& folder)
{
    const int dir = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = dir >= 0 ? ::fdopendir(dir) : nullptr;
    if (!list) {
        if (dir >= 0)
            ::close(dir);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(list))
        if (isTempName(entry->d_name) && removeIfLeft(::dirfd(list), entry->d_name))
            ++removed;
    ::closedir(list);
    return removed;
}

bool OutputFile::syncPath(const QString& path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

bool OutputFile::endsWith(const QString& path, const QByteArray& tail)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.size() >= tail.size() && f.seek(f.size() - tail.size())
        && f.read(tail.size()) == tail;
}
