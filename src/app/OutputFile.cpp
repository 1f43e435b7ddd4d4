#include "app/OutputFile.h"

#include "app/FileNameFit.h"
#include "app/PathWalk.h"
#include "app/RegularFile.h"
#include "app/TaskCancel.h"
#include "app/WrittenDisks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
// Small writes gather here; large ones go straight to the file.
constexpr qsizetype kBufferSize = 256 * 1024;
// What one kernel copy call moves: from 1 MB, grown while calls are quick and cut when one is slow,
// so that a cancel or a report comes within a fraction of a second on any disk that answers.
constexpr size_t kCopyChunkMin = 1024 * 1024;
constexpr size_t kCopyChunkMax = 16 * 1024 * 1024;
constexpr qint64 kQuickCopyNs = 50 * 1000 * 1000;
constexpr qint64 kSlowCopyNs = 250 * 1000 * 1000;
constexpr size_t kReadChunk = 1024 * 1024;
// How long a FIFO the user named is given for a program to open it for reading.
constexpr int kFifoReaderWaitMs = 3000;
constexpr int kFifoPollMs = 20;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

int createFile(int dir, const char* name, int flags, mode_t mode)
{
    return ::openat(dir, name, flags, mode);
}

OutputFile::CreateCall t_create = createFile;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString riskyCharacters(const QString& name);

// Whether name is one of the temporaries this class makes: ".qm-", 16 hex digits, the characters of
// the final name a disk may refuse, each once, padding (see tempName), ".tmp". A look-alike with other text
// is the user's.
bool isTempName(const char* name)
{
    const size_t length = std::strlen(name);
    if (length < 24 || std::strncmp(name, ".qm-", 4) != 0 || std::strcmp(name + length - 4, ".tmp") != 0)
        return false;
    if (!std::all_of(
            name + 4, name + 20, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
        return false;
    QByteArray rest(name + 20, qsizetype(length - 24));
    while (rest.endsWith('_')) // the padding of a long name's temporary
        rest.chop(1);
    const QString risky = QFile::decodeName(rest);
    return riskyCharacters(risky) == risky;
}

// Removes the temporary name in folder dir when no write holds it; the one locked is the one removed.
bool removeIfLeft(int dir, const char* name)
{
    struct stat held, named;
    // Never opened unless a file of this user's: a device or a FIFO of that name, or another user's
    // file (which a run as root could remove), stays untouched.
    if (::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode)
        || named.st_uid != ::geteuid())
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

// The characters of name some disk refuses: beyond ASCII, control characters, \ : * ? " < > |.
QString riskyCharacters(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\:*?\"<>|");
    QString risky;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.unicode() >= 0x20 && c.unicode() <= 0x7E && !forbidden.contains(c))
            continue; // most names hold nothing else
        const QStringView one = QStringView(name).mid(i, c.isHighSurrogate() && i + 1 < name.size() ? 2 : 1);
        if (!c.isNull() && !risky.contains(one))
            risky += one;
        i += one.size() - 1;
    }
    return risky;
}

// Reads up to size bytes of fd at offset, fewer only at its end; -1 on failure.
ssize_t readAt(int fd, char* data, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

// Whether the files open at a and b hold the same bytes.
bool sameBytes(int a, int b)
{
    QByteArray left(qsizetype(kReadChunk), Qt::Uninitialized),
        right(qsizetype(kReadChunk), Qt::Uninitialized);
    for (off_t at = 0;; at += off_t(kReadChunk)) {
        const ssize_t n = readAt(a, left.data(), kReadChunk, at);
        if (n < 0 || readAt(b, right.data(), kReadChunk, at) != n
            || std::memcmp(left.constData(), right.constData(), size_t(n)) != 0)
            return false;
        if (size_t(n) < kReadChunk)
            return true;
    }
}

// Whether fd is open on the file st describes.
bool isFile(int fd, const struct stat& st)
{
    struct stat opened;
    return fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino;
}

// Numbered names beside those standing tried at most: a folder holds no more of one name.
constexpr int kMaxNumber = 100000;

} // namespace

bool OutputFile::refusesName(int error)
{
    return error == EINVAL || error == EPERM || error == ENOENT || error == EILSEQ || error == ENAMETOOLONG;
}

OutputFile::OutputFile(QString path)
    : m_path(std::move(path))
{
}

OutputFile::OutputFile(HeldFolder folder, QString name)
    : m_path(folder.filePath(name))
    , m_target(m_path)
    , m_dir(std::move(folder))
    , m_name(native(name))
    , m_givenName(m_name)
    , m_followLinks(false)
    , m_held(true)
{
}

OutputFile::CreateCall OutputFile::setCreateCall(CreateCall call)
{
    return std::exchange(t_create, call ? call : createFile);
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
    m_nameRefused = false;
    m_keptStanding = false;
    m_numbered = 1;
    if (m_held) {
        m_name = m_givenName;
        m_fitted = 0;
    }
    m_unnumbered = m_name;
    if (!openTarget())
        return false;
    m_buffer.reserve(kBufferSize);
    return QIODevice::open(mode | Unbuffered);
}

bool OutputFile::openTarget()
{
    m_replaces = false;
    if (m_held)
        return inPlace() && openOwnName();
    PathWalk walk;
    if (!holdFolder(walk))
        return false;
    if (!m_followLinks)
        return openOwnName();
    if (!walk.found())
        return openTemp(0);
    const struct stat& st = walk.stat();
    return S_ISREG(st.st_mode) ? openReplacing(st) : openDirect(st);
}

// A device or a FIFO the user named is written directly. A FIFO is opened without blocking: a
// program started along with this one (`... fifo & gzip < fifo`) is given a few seconds to open it for
// reading; with none by then, the write fails rather than waiting without end. A cancel ends the wait.
bool OutputFile::openDirect(const struct stat& st)
{
    if (!mayOpen(st))
        return false;
    m_direct = true;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        m_fd = ::openat(m_dir.fd(), m_name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0 || errno != ENXIO || !S_ISFIFO(st.st_mode) || waited.elapsed() >= kFifoReaderWaitMs)
            break;
        if (TaskCancel::requested())
            return setError(ECANCELED);
        QThread::msleep(kFifoPollMs);
    }
    if (m_fd < 0 && errno == ENXIO && S_ISFIFO(st.st_mode)) {
        setError(ENXIO);
        setErrorString(QStringLiteral("it is a FIFO that no program reads from, and nothing was written"));
        return false;
    }
    if (m_fd < 0)
        return setError(errno);
    // Then written as any pipe or device is: a write waits for its reader.
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        closeFd();
        return setError(error);
    }
    return true;
}

// The system's rules for shared folders (see PathWalk::refusalIn) for what stands at the final name.
bool OutputFile::mayOpen(const struct stat& st)
{
    struct stat folder;
    if (::fstat(m_dir.fd(), &folder) != 0)
        return setError(errno);
    const QString refused = PathWalk::refusalIn(folder, st, m_dir.filePath(QFile::decodeName(m_name)));
    if (refused.isEmpty())
        return true;
    setError(EACCES);
    setErrorString(refused);
    return false;
}

// The folder of the final name, held until the rename: the temporary is made, and put in place,
// in the one folder. The way to it, and a link at the final name unless the name is the program's
// own, is walked as the system would walk it (see PathWalk).
bool OutputFile::holdFolder(PathWalk& walk)
{
    if (!walk.walk(PathWalk::absolute(m_path), m_followLinks)) {
        if (walk.refusal().isEmpty())
            return setError(errno);
        setError(EACCES);
        setErrorString(walk.refusal());
        return false;
    }
    // Where the way leads, the links followed and "." and ".." taken as the system takes them.
    m_target = walk.filePath();
    m_dir = HeldFolder::openWalked(walk, walk.folderPath());
    m_name = walk.name();
    return m_dir.isValid() || setError(errno);
}

// A name this program makes: whatever stands there is looked at, never opened, so a FIFO or a
// device cannot make the write wait; a link is replaced, anything else but a file refused.
bool OutputFile::openOwnName()
{
    struct stat st;
    if (::fstatat(m_dir.fd(), m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? openTemp(0) : setError(errno);
    // What stands is looked at again when the file is put in place (see placeTemp).
    if (S_ISLNK(st.st_mode) || m_keepStanding)
        return openTemp(0);
    if (S_ISDIR(st.st_mode))
        return setError(EISDIR);
    if (!S_ISREG(st.st_mode)) {
        setError(EINVAL);
        setErrorString(RegularFile::notRegularText());
        return false;
    }
    return openReplacing(st);
}

bool OutputFile::openReplacing(const struct stat& st)
{
    // Another user's file in a shared folder is refused before a temporary with its mode is made.
    if (!mayOpen(st))
        return false;
    // A file that may not be written stays as it is, although its folder would allow a rename.
    if (::faccessat(m_dir.fd(), m_name.constData(), W_OK, AT_EACCESS) != 0)
        return setError(errno);
    m_replaces = true;
    // Another user's mode is not this user's to give: a file the user could write but not own (a
    // shared one, or any when run as root) is replaced as a new file is made.
    return openTemp(st.st_uid == ::geteuid() ? st.st_mode & 07777 : 0);
}

// The mode setMode() gave; else mode 0: a new file, made as the umask says; otherwise the mode of
// the user's own file it replaces. The temporary is made with no more than that mode, so no one else may open
// it who could not open the file.
bool OutputFile::openTemp(unsigned mode)
{
    const unsigned keep = m_mode != 0 ? m_mode : mode;
    int error = createTemp(keep);
    // A temporary that carries the name's characters is refused where the name would be: the name
    // is fitted before anything is written (fusefat loses a file whose rename it refuses).
    while (error != 0 && refusesName(error) && fitName())
        error = createTemp(keep);
    // Every name fitted refused too (the last one short and plain): this file's name alone.
    m_nameRefused = error != 0 && refusesName(error) && m_fitted >= 3 && m_name != m_givenName;
    if (error != 0)
        return setError(error);
    m_temp = m_dir.filePath(QFile::decodeName(m_tempName));
    if (keep != 0)
        ::fchmod(m_fd, keep & 07777); // what the umask took; a kept mode is a courtesy
    WrittenDisks::note(m_fd, m_target, m_dir.fd());
    return true;
}

// Makes and locks the temporary; 0, or the errno of the failure.
int OutputFile::createTemp(unsigned keep)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        m_tempName = tempName();
        m_fd = t_create(m_dir.fd(), m_tempName.constData(),
            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, keep != 0 ? keep & 0777 : 0666);
        if (m_fd >= 0 && lockTemp())
            return 0;
        if (m_fd >= 0) {
            closeFd();
            continue;
        }
        if (errno != EEXIST) {
            const int error = errno;
            m_tempName.clear();
            return error;
        }
    }
    m_tempName.clear();
    return EEXIST;
}

// ".qm-", 16 random hex digits, ".tmp"; a name to be fitted carries the characters of the final name
// that a disk may refuse before ".tmp", as many as a name can hold.
QByteArray OutputFile::tempName() const
{
    QByteArray name = QStringLiteral(".qm-%1")
                          .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'))
                          .toLatin1();
    const QString risky = m_fitName && m_held ? riskyCharacters(QFile::decodeName(m_name)) : QString();
    if (!risky.isEmpty())
        name += native(FileNameFit::fitted(risky, QString(), FileNameFit::kMaxNameBytes - 24));
    // As long as a long name, so that a disk refusing its length refuses it here.
    if (m_fitName && m_held && m_name.size() > FileNameFit::kMaxShortBytes)
        name += QByteArray(std::max<qsizetype>(0, m_name.size() - name.size() - 4), '_');
    return name + ".tmp";
}

// Takes the next name fitted from the one given that differs from the name now, free in the folder;
// false when none is left.
bool OutputFile::fitName()
{
    if (!m_fitName || !m_held)
        return false;
    const QString given = QFile::decodeName(m_givenName);
    while (m_fitted < 3) {
        const int step = m_fitted++;
        const QString fitted = step == 0 ? FileNameFit::localName(given)
            : step == 1                  ? FileNameFit::asciiName(given)
                                         : FileNameFit::shortName(given);
        // The short form only for a name that is long or fitted: a short plain one refused is no
        // matter of its name.
        const bool plain = step == 2 && fitted != given && FileNameFit::asciiName(given) == given
            && m_givenName.size() <= FileNameFit::kMaxShortBytes;
        if (fitted == given || plain || (step >= 1 && fitted == FileNameFit::localName(given))
            || (step == 2 && fitted == FileNameFit::asciiName(given)))
            continue;
        // Where nothing standing is replaced, the rename finds a free name itself.
        m_name = native(m_keepStanding ? fitted : m_dir.freeName(fitted));
        m_unnumbered = m_name;
        m_numbered = 1;
        return true;
    }
    return false;
}

// Locks the new temporary at m_fd; false when a run clearing leftovers took it first (it goes).
bool OutputFile::lockTemp()
{
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return true; // a file system without locks: written unlocked
        ::unlinkat(m_dir.fd(), m_tempName.constData(), 0);
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
        size_t chunk = kCopyChunkMin;
        QElapsedTimer took;
        for (;;) {
            took.start();
            const ssize_t n = ::copy_file_range(fd, nullptr, m_fd, nullptr, chunk, 0);
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
            if (stopped(progress, fd))
                return setError(ECANCELED);
            const qint64 ns = took.nsecsElapsed();
            if (ns < kQuickCopyNs)
                chunk = std::min(chunk * 2, kCopyChunkMax);
            else if (ns > kSlowCopyNs)
                chunk = std::max(chunk / 2, kCopyChunkMin);
        }
    }
    return copyByReading(fd, progress);
}

// Between blocks: told the bytes so far, or the task cancelled (see TaskCancel) while more of the
// file from is to come (a file whose last block is copied is whole, and stays).
bool OutputFile::stopped(const Progress& progress, int from) const
{
    if (progress && !progress(m_done))
        return true;
    if (!TaskCancel::requested())
        return false;
    struct stat st;
    return ::fstat(from, &st) != 0 || !S_ISREG(st.st_mode) || ::lseek(from, 0, SEEK_CUR) < st.st_size;
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
        if (stopped(progress, fd))
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
    if (ok && m_modified >= 0 && !m_direct) {
        const struct timespec times[2] = { { time_t(m_modified), 0 }, { time_t(m_modified), 0 } };
        ::futimens(m_fd, times);
    }
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
    if (ok && !m_direct && m_held)
        ok = inPlace();
    if (ok && m_replaces && !m_direct && !syncFolder())
        ok = setError(errno);
    if (ok && !m_direct && !placeTemp())
        ok = setError(errno);
    if (!ok) {
        discard();
        return false;
    }
    m_temp.clear();
    m_tempName.clear();
    unlockTemp();
    m_committed = true;
    QIODevice::close();
    return true;
}

// Renames the temporary to the final name. A name the disk refuses is fitted while the temporary
// still stands; where it is gone (fusefat), or no fitted name is taken, the name is told as refused.
// False with errno set.
bool OutputFile::placeTemp()
{
    for (;;) {
        const int error = m_keepStanding
            ? placeNoReplace()
            : (::renameat(m_dir.fd(), m_tempName.constData(), m_dir.fd(), m_name.constData()) == 0 ? 0
                                                                                                   : errno);
        if (error == 0)
            return true;
        if (error == EEXIST && m_keepStanding) {
            if (sameAsStanding()) {
                ::unlinkat(m_dir.fd(), m_tempName.constData(), 0);
                m_keptStanding = true;
                return true;
            }
            if (++m_numbered > kMaxNumber) {
                errno = EEXIST;
                return false;
            }
            const QString unnumbered = QFile::decodeName(m_unnumbered);
            const QString ext = FileNameFit::extensionOf(unnumbered);
            m_name = native(FileNameFit::fitted(
                unnumbered.chopped(ext.size()), QStringLiteral("(%1)").arg(m_numbered) + ext));
            continue;
        }
        struct stat st;
        const bool stands = ::fstatat(m_dir.fd(), m_tempName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!m_fitName || !refusesName(error) || !stands || !fitName()) {
            // Only a name that fitting changes is refused for what it is.
            m_nameRefused = m_fitName && m_held && refusesName(error) && (stands || error != ENOENT)
                && (FileNameFit::asciiName(QFile::decodeName(m_givenName)) != QFile::decodeName(m_givenName)
                    || m_givenName.size() > FileNameFit::kMaxShortBytes);
            errno = error;
            return false;
        }
    }
}

// Renames the temporary to the name now unless something stands there; 0, EEXIST when something
// does, or the errno of the failure.
int OutputFile::placeNoReplace()
{
    const int dir = m_dir.fd();
    const char* temp = m_tempName.constData();
    const char* name = m_name.constData();
    if (::renameat2(dir, temp, dir, name, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // A disk that cannot refuse to replace in a rename: a link fails where something stands.
    if (::linkat(dir, temp, dir, name, 0) == 0) {
        ::unlinkat(dir, temp, 0);
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor make links (FAT): what stands is looked at just before the rename.
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dir, temp, dir, name) == 0 ? 0 : errno;
}

// Whether a regular file of the user's own stands at the name now with the very bytes of the
// temporary.
bool OutputFile::sameAsStanding()
{
    const int dir = m_dir.fd();
    struct stat standing, temp;
    if (::fstatat(dir, m_name.constData(), &standing, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(standing.st_mode)
        || standing.st_uid != ::geteuid()
        || ::fstatat(dir, m_tempName.constData(), &temp, AT_SYMLINK_NOFOLLOW) != 0
        || standing.st_size != temp.st_size
        || (standing.st_dev == temp.st_dev && standing.st_ino == temp.st_ino))
        return false;
    const int a = ::openat(dir, m_name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int b = ::openat(dir, m_tempName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool same = isFile(a, standing) && isFile(b, temp) && sameBytes(a, b);
    for (const int fd : { a, b })
        if (fd >= 0)
            ::close(fd);
    return same;
}

// The folder of the temporary, synced; one held without read access is opened for it.
bool OutputFile::syncFolder()
{
    if (::fsync(m_dir.fd()) == 0)
        return true;
    if (errno != EBADF)
        return false;
    const int fd = ::openat(m_dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    errno = error;
    return ok;
}

bool OutputFile::inPlace()
{
    QString moved;
    return m_dir.inPlace(&moved) || setMoved(moved);
}

QString OutputFile::openedPath() const
{
    if (m_direct || m_fd < 0)
        return writePath();
    const QString opened = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
    return ::access(native(opened).constData(), F_OK) == 0 ? opened : writePath();
}

bool OutputFile::commitWritten(const std::function<bool(const QString&)>& complete)
{
    if (!isOpen()) {
        closeFd();
        return false;
    }
    if (!complete(openedPath())) {
        // The writer does not say why it stopped: one more write to the same place does.
        int why = EIO;
        const QByteArray zeros(64 * 1024, '\0');
        for (int i = 0; !m_direct && m_fd >= 0 && ::lseek(m_fd, 0, SEEK_END) >= 0 && i < 64; ++i)
            if (::write(m_fd, zeros.constData(), size_t(zeros.size())) < 0) {
                why = errno;
                break;
            }
        closeFd();
        setError(why);
        discard();
        return false;
    }
    closeFd();
    return renameIntoPlace(true);
}

void OutputFile::discard()
{
    closeFd();
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_dir.fd(), m_tempName.constData(), 0);
        m_tempName.clear();
    }
    m_temp.clear();
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

bool OutputFile::setMoved(const QString& moved)
{
    setError(ESTALE);
    setErrorString(QStringLiteral("the folder %1 was moved or replaced while it was written into")
                       .arg(QDir::toNativeSeparators(moved)));
    return false;
}

QString OutputFile::failure() const
{
    if (m_nameRefused)
        return QStringLiteral("Cannot write %1: the disk does not take this name (%2).")
            .arg(m_path, errorString());
    return QStringLiteral("Cannot write %1: %2").arg(m_path, errorString());
}

QString OutputFile::placedName() const
{
    return QFile::decodeName(m_name);
}

bool OutputFile::copy(
    const QString& from, const QString& to, QString* error, const Progress& progress, bool followLinks)
{
    OutputFile out(to);
    out.setFollowLinks(followLinks);
    return out.copyFile(from, error, progress);
}

bool OutputFile::copyFile(const QString& from, QString* error, const Progress& progress)
{
    const int in = ::open(native(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(from, systemText(errno));
        return false;
    }
    const bool ok = open(WriteOnly) && copyFrom(in, progress) && commit();
    ::close(in);
    if (!ok && error)
        *error = m_sourceFailed ? QStringLiteral("Cannot read %1: %2").arg(from, errorString()) : failure();
    return ok;
}

int OutputFile::removeLeftovers(const QString& folder)
{
    return removeLeftovers(HeldFolder::open(folder));
}

int OutputFile::removeLeftovers(const HeldFolder& folder)
{
    const int dir = folder.isValid() ? ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* list = dir >= 0 ? ::fdopendir(dir) : nullptr;
    if (!list) {
        if (dir >= 0)
            ::close(dir);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(list))
        if (isTempName(entry->d_name) && removeIfLeft(folder.fd(), entry->d_name))
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
