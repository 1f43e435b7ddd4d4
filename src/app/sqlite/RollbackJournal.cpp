#include "app/sqlite/RollbackJournal.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString RollbackJournal::pathOf(const QString& dbPath)
{
    return dbPath + QStringLiteral("-journal");
}

RollbackJournal::State RollbackJournal::stateOf(const QString& dbPath, QString* why)
{
    const QByteArray path = QFile::encodeName(pathOf(dbPath));
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return State::None; // SQLite too takes what it cannot look at for no journal
    if (!S_ISREG(st.st_mode))
        return State::NotAFile;
    if (st.st_size == 0)
        return State::None;
    // Not waited on: a FIFO put there meanwhile fails the read.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    char first = 0;
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, &first, 1, 0);
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (n < 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(error));
        return State::Unreadable;
    }
    return n == 1 && first != 0 ? State::Holds : State::None;
}
