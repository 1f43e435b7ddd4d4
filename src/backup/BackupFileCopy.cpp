#include "backup/BackupFileCopy.h"

#include "app/Fd.h"
#include "app/RegularFile.h"
#include "backup/BackupCrypto.h"
#include "backup/ContentDigest.h"
#include "backup/write/BackupWriteNames.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString systemText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What one kernel copy call moves at most, and the buffer of a copy by reading (small enough to
// stay in the processor's cache between the read, the digest and the write).
constexpr size_t kCopyChunk = 16 * 1024 * 1024;
constexpr qint64 kReadChunk = 256 * 1024;

int writeFully(int out, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(out, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        size -= n;
    }
    return 0;
}

// Copies what in holds from offset on into out by reading and writing, adding it to written.
int copyByReading(int in, int out, off_t offset, ContentDigest* written)
{
    QByteArray buf(kReadChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::pread(in, buf.data(), size_t(buf.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : 0;
        if (const int error = writeFully(out, buf.constData(), n))
            return error;
        if (written)
            written->add(buf.constData(), n);
        offset += n;
    }
}

// Copies in into out; 0, or the errno of the failure. With a digest the bytes pass through here,
// taken as they go: a kernel copy would need them read once more. Without, the kernel copies.
int copyContent(int in, int out, ContentDigest* written)
{
    if (written)
        return copyByReading(in, out, 0, written);
    off_t offset = 0;
    for (;;) {
        loff_t from = offset;
        const ssize_t n = ::copy_file_range(in, &from, out, nullptr, kCopyChunk, 0);
        if (n == 0)
            return 0;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            return copyByReading(in, out, offset, nullptr);
        if (n < 0)
            return errno;
        offset += off_t(n);
    }
}

} // namespace

void BackupFileCopy::copyThrow(const QString& from, const QString& to, ContentDigest* written)
{
    const QString why = copy(from, to, written);
    if (!why.isEmpty())
        fail(QStringLiteral("Cannot copy %1 to %2. %3").arg(from, to, why));
}

QString BackupFileCopy::copy(const QString& from, const QString& to, ContentDigest* written)
{
    const auto failed = [&](int error) {
        ::unlink(QFile::encodeName(to).constData()); // nothing half-copied stays
        return systemText(error);
    };
    // Without waiting: a FIFO or device planted in a backup must not hold the copy.
    Fd in(::open(QFile::encodeName(from).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0)
        return systemText();
    if (!S_ISREG(st.st_mode))
        return RegularFile::notRegularText();
    // The copy keeps the mode of its source, made writable for its owner.
    Fd out(BackupWriteNames::createOwnFd(to, (st.st_mode & 07777) | S_IRUSR | S_IWUSR));
    if (out.get() < 0)
        return systemText();
    ::fchmod(out.get(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR); // whatever the umask took
    if (const int error = copyContent(in.get(), out.get(), written))
        return failed(error);
    if (!out.close())
        return failed(errno);
    return QString();
}

void BackupFileCopy::encryptThrow(
    const QByteArray& key, const QString& from, const QString& to, ContentDigest* written)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1. %2").arg(from, in.errorString()));
    QFile out;
    if (!BackupWriteNames::createOwn(out, to))
        fail(QStringLiteral("Cannot create %1. %2").arg(to, systemText()));
    try {
        BackupCrypto::encryptStream(key, in, out, written);
    } catch (const std::runtime_error& e) {
        const bool writing = out.error() != QFileDevice::NoError;
        out.close();
        BackupWriteNames::removeIfPresent(to); // nothing half-written stays (out has no name to remove)
        fail(QStringLiteral("Cannot %1 %2. %3")
                 .arg(writing ? QStringLiteral("write") : QStringLiteral("read"), writing ? to : from,
                     QString::fromUtf8(e.what())));
    }
}
