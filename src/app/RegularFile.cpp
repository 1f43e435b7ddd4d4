#include "app/RegularFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool RegularFile::openRead(QFile& file, const QString& path, QString* why, bool followLinks)
{
    return openReadAt(file, AT_FDCWD, QFile::encodeName(path), why, followLinks);
}

bool RegularFile::openReadAt(QFile& file, int dir, const QByteArray& name, QString* why, bool followLinks)
{
    const int fd
        = ::openat(dir, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    struct stat st;
    int error = fd < 0 ? errno : (::fstat(fd, &st) != 0 ? errno : 0);
    if (error == ELOOP && !followLinks)
        error = -1;
    if (error == 0 && !S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : -1;
    // Reads of a regular file never wait; the flag only kept the open itself from waiting.
    if (error == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error == 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    if (fd >= 0 && !file.isOpen())
        ::close(fd);
    if (why)
        *why = error == -1 ? notRegularText()
            : error != 0   ? QString::fromLocal8Bit(std::strerror(error))
                           : file.errorString();
    return false;
}

QString RegularFile::notRegularText()
{
    return QStringLiteral("Not a regular file");
}

bool RegularFile::readToEnd(QFile& file, QByteArray* bytes, QString* why)
{
    if (bytes)
        bytes->reserve(qsizetype(file.size()));
    QByteArray buf(256 * 1024, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = file.read(buf.data(), buf.size())) > 0)
        if (bytes)
            bytes->append(buf.constData(), qsizetype(n));
    if (n < 0 && why)
        *why = file.errorString();
    return n == 0;
}

bool RegularFile::readUpTo(QFile& file, qint64 max, QByteArray* bytes, QString* why)
{
    bytes->resize(qsizetype(qBound<qint64>(0, file.size() - file.pos(), max)));
    qint64 got = 0;
    qint64 n = 0;
    while (got < max) {
        if (got == bytes->size()) // the file grew, or tells no size (a file of the system)
            bytes->resize(qsizetype(qMin(max, got + 64 * 1024)));
        if ((n = file.read(bytes->data() + got, bytes->size() - got)) <= 0)
            break;
        got += n;
    }
    bytes->truncate(qsizetype(got));
    if (n < 0 && why)
        *why = file.errorString();
    return n >= 0;
}

bool RegularFile::holds(const QString& path, const QByteArray& bytes)
{
    struct stat st;
    QFile file;
    QByteArray held;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_size == bytes.size()
        && openRead(file, path, nullptr, false) && readToEnd(file, &held, nullptr) && held == bytes;
}

QString RegularFile::readFailure(const QString& path)
{
    QFile file;
    QString why;
    if (!openRead(file, path, &why) || !readToEnd(file, nullptr, &why))
        return why;
    return QString();
}
