#include "app/sqlite/RollbackJournal.h"

#include "app/PathWalk.h"
#include "app/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const unsigned char kMagic[8] = { 0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7 };
constexpr qint64 kHeader = 28; // magic, record count, checksum seed, pages, sector size, page size
constexpr qint64 kTrailer = 16; // the name's length, its checksum, the magic
constexpr quint32 kMaxName = 512; // SQLite reads no longer name on this system
constexpr qint64 kMaxSector = 65536;

quint32 be32(const unsigned char* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

// Reads n bytes at offset at; false with errno set when they cannot all be read (0 at the end).
bool readAt(int fd, void* into, qint64 n, qint64 at)
{
    auto* p = static_cast<char*>(into);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, size_t(n), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        p += got;
        at += got;
        n -= got;
    }
    return true;
}

// The trailer that ends the first size bytes of a journal, read as SQLite reads it: start is where
// it begins (the page number before the name), -1 when there is none; name is the super-journal's
// name up to its first zero byte.
struct Trailer {
    qint64 start = -1;
    QByteArray name;
};

bool trailerOf(int fd, qint64 size, Trailer& t)
{
    t = Trailer();
    unsigned char tail[kTrailer];
    if (size < kTrailer)
        return true;
    if (!readAt(fd, tail, kTrailer, size - kTrailer))
        return false;
    const quint32 length = be32(tail);
    if (length == 0 || length > kMaxName || length > size - kTrailer || std::memcmp(tail + 8, kMagic, 8) != 0)
        return true;
    QByteArray name(qsizetype(length), Qt::Uninitialized);
    if (!readAt(fd, name.data(), length, size - kTrailer - length))
        return false;
    quint32 sum = be32(tail + 4);
    for (const char c : std::as_const(name))
        sum -= quint32(c); // as SQLite sums a char, signed where the system's is
    if (sum != 0)
        return true; // not a trailer to SQLite either
    t.start = std::max<qint64>(0, size - kTrailer - length - 4);
    const qsizetype end = name.indexOf('\0');
    t.name = end < 0 ? name : name.left(end);
    return true;
}

// What SQLite may read of a journal whose first header is head when it plays it back: that header
// (one sector), a record of each page the database had, each with the header and padding of a
// segment that may begin before it, and a trailer. A header SQLite takes for none is read alone.
qint64 neededBytes(const unsigned char* head, qint64 have, qint64 size)
{
    if (have < kHeader || std::memcmp(head, kMagic, 8) != 0)
        return std::min(size, kMaxSector);
    const qint64 pages = be32(head + 16);
    const qint64 sector = be32(head + 20);
    qint64 pageSize = be32(head + 24);
    if (pageSize == 0)
        pageSize = 65536; // left 0 by old versions: the database's, at most this
    const auto powerOfTwo = [](qint64 v) { return (v & (v - 1)) == 0; };
    if (pageSize < 512 || pageSize > 65536 || !powerOfTwo(pageSize) || sector < 32 || sector > kMaxSector
        || !powerOfTwo(sector))
        return std::min(size, kMaxSector);
    return std::min(size, 2 * kMaxSector + 4 + kMaxName + kTrailer + pages * (pageSize + 8 + 2 * sector));
}

// Each journal's judgement is logged once a run, however many roads ask for it.
void logOnce(const QByteArray& line)
{
    static QMutex lock;
    static QSet<QByteArray> logged;
    const QMutexLocker locked(&lock);
    if (!logged.contains(line)) {
        logged.insert(line);
        qInfo("%s", line.constData());
    }
}

// The name read from journal, cleaned, when it lies in the journal's own folder, where SQLite makes
// it; empty for a name elsewhere (a path on the phone, a mount that never answers). Told from the
// strings alone, nothing resolved: the cleaned name passes through no link that the name climbs out of.
QByteArray besideJournal(const QByteArray& journal, const QByteArray& name)
{
    const QString path = QDir::cleanPath(QFile::decodeName(name));
    const QString folder = QDir::cleanPath(QFileInfo(QFile::decodeName(journal)).absolutePath());
    return QDir::isAbsolutePath(path) && QFileInfo(path).path() == folder ? QFile::encodeName(path)
                                                                          : QByteArray();
}

// SQLite plays the journal back only while something is at the super-journal's name: no file, or
// an empty one, is none. A link there is not followed, and taken for one. A name outside the
// journal's folder is taken for none, as SQLite takes a super-journal that is gone.
RollbackJournal::State judged(const QByteArray& journal, const QByteArray& super)
{
    const QByteArray beside = besideJournal(journal, super);
    if (beside.isEmpty()) {
        logOnce(journal + " holds a change to several databases whose journal \"" + super
            + "\" lies outside its folder: never looked up, and taken, as SQLite takes one that is gone, "
              "for a finished change, not played back.");
        return RollbackJournal::State::Stale;
    }
    struct stat st;
    const bool gone = ::lstat(beside.constData(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0);
    const QByteArray link = !gone && S_ISLNK(st.st_mode) ? " (a link, not followed)" : "";
    logOnce(journal + " holds a change to several databases whose journal \"" + super + "\" is "
        + (gone ? "gone: taken, as SQLite takes it, for a finished change, and not played back."
                : "there" + link
                    + ": taken, as SQLite takes it, for an unfinished change to take "
                      "back; that journal is never opened."));
    return gone ? RollbackJournal::State::Stale : RollbackJournal::State::HoldsJoint;
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Copies n bytes of in to out from their start; 0, the errno of a write that failed, or minus
// that of a read. A file that ended meanwhile is copied as far as it goes.
int copyBytes(int in, int out, qint64 n)
{
    QByteArray buf(256 * 1024, Qt::Uninitialized);
    for (qint64 at = 0; at < n;) {
        const ssize_t got = ::pread(in, buf.data(), size_t(std::min<qint64>(buf.size(), n - at)), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? -errno : 0;
        for (ssize_t put = 0; put < got;) {
            const ssize_t w = ::write(out, buf.constData() + put, size_t(got - put));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return errno;
            put += w;
        }
        at += got;
    }
    return 0;
}

// Cuts every trailer from the end of the copy: one cut may bare another.
int cutTrailers(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return errno;
    qint64 size = st.st_size;
    for (Trailer t; size > 0; size = t.start) {
        if (!trailerOf(fd, size, t))
            return errno ? errno : EIO;
        if (t.start < 0)
            break;
    }
    return ::ftruncate(fd, off_t(size)) == 0 ? 0 : errno;
}

} // namespace

QString RollbackJournal::pathOf(const QString& dbPath)
{
    return dbPath + QStringLiteral("-journal");
}

RollbackJournal::State RollbackJournal::stateOf(const QString& dbPath, QString* why)
{
    const QByteArray path = QFile::encodeName(pathOf(dbPath));
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return State::None; // SQLite too takes what it cannot look at for no journal
    // Another user's, where everyone may write: whatever it holds is theirs, never played back.
    const auto foreign = [&](int fd) {
        const QString refused = PathWalk::readRefusal(pathOf(dbPath), fd);
        if (!refused.isEmpty() && why)
            *why = refused;
        return !refused.isEmpty();
    };
    if (foreign(-1))
        return State::Foreign;
    // A link is a name, never followed: not a journal of this file.
    if (!S_ISREG(st.st_mode))
        return State::NotAFile;
    if (st.st_size == 0)
        return State::None;
    // Not waited on: a FIFO put there meanwhile is not read.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    char first = 0;
    Trailer trailer;
    int error = 0;
    State state = State::None; // emptied meanwhile
    if (fd < 0 && errno == ELOOP)
        state = State::NotAFile; // a link put there meanwhile
    else if (fd < 0 || ::fstat(fd, &st) != 0)
        error = errno;
    else if (foreign(fd))
        state = State::Foreign; // put there meanwhile
    else if (!S_ISREG(st.st_mode))
        state = State::NotAFile;
    else if (!readAt(fd, &first, 1, 0))
        error = errno;
    else if (first != 0 && !trailerOf(fd, st.st_size, trailer))
        error = errno ? errno : EIO; // cut meanwhile: not known
    else if (first != 0)
        state = State::Holds;
    if (fd >= 0)
        ::close(fd);
    if (error != 0) {
        if (why)
            *why = systemText(error);
        return State::Unreadable;
    }
    return state == State::Holds && !trailer.name.isEmpty() ? judged(path, trailer.name) : state;
}

QString RollbackJournal::copy(const QString& dbPath, const QString& toDbPath)
{
    const QString from = pathOf(dbPath), to = pathOf(toDbPath);
    const auto failed = [](const QString& path, const QString& why, bool reading) {
        return (reading ? QStringLiteral("Cannot read %1. %2") : QStringLiteral("Cannot write %1. %2"))
            .arg(path, why);
    };
    const int in
        = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    QString why;
    if (in < 0 && errno == ELOOP)
        why = RegularFile::notRegularText();
    else if (in < 0 || ::fstat(in, &st) != 0)
        why = systemText(errno);
    else if (!S_ISREG(st.st_mode))
        why = RegularFile::notRegularText();
    else
        why = PathWalk::readRefusal(from, in); // another user's put there since it was judged
    if (!why.isEmpty()) {
        if (in >= 0)
            ::close(in);
        return failed(from, why, true);
    }
    unsigned char head[kHeader];
    const ssize_t have = ::pread(in, head, sizeof head, 0);
    const qint64 needed = neededBytes(head, have, st.st_size);
    const int out = ::open(
        QFile::encodeName(to).constData(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    int error = out < 0 ? errno : copyBytes(in, out, needed);
    if (error == 0)
        error = cutTrailers(out);
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && error == 0)
        error = errno;
    if (error == 0)
        return QString();
    if (out >= 0)
        ::unlink(QFile::encodeName(to).constData()); // nothing half-copied stays
    return failed(error < 0 ? from : to, systemText(std::abs(error)), error < 0);
}
