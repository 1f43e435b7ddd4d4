#include "device/mobiledevice_pipe.h"

#include <cerrno>
#include <sys/select.h>
#include <unistd.h>

mobiledevice_pipe::mobiledevice_pipe(int timeout)
    : timeout(timeout)
{
}

mobiledevice_pipe::~mobiledevice_pipe()
{
    close();
}

bool mobiledevice_pipe::create()
{
    int up[2];
    if (::pipe(up) != 0)
        return false;
    parentRead = up[0];
    childWrite = up[1];
    int down[2];
    if (::pipe(down) != 0)
        return false;
    childRead = down[0];
    parentWrite = down[1];
    childReadText = QString::number(childRead);
    childWriteText = QString::number(childWrite);
    return true;
}

bool mobiledevice_pipe::connect()
{
    return true;
}

bool mobiledevice_pipe::waitFor(int fd, bool forWrite)
{
    if (fd <= 0 || fd >= FD_SETSIZE)
        return false;
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval limit { timeout / 1000, (timeout % 1000) * 1000 };
        int ready = ::select(fd + 1, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr,
            timeout > 0 ? &limit : nullptr);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

int mobiledevice_pipe::read(char* buffer, int length)
{
    if (length < 1)
        return 0;
    int got = 0;
    while (got < length) {
        if (!waitFor(parentRead, false))
            break;
        ssize_t n = ::read(parentRead, buffer + got, size_t(length - got));
        if (n < 1)
            break;
        got += int(n);
    }
    return got;
}

int mobiledevice_pipe::write(const char* data, int length, bool sync)
{
    int written = 0;
    if (length >= 1) {
        if (!waitFor(parentWrite, true))
            return 0;
        ssize_t n = ::write(parentWrite, data, size_t(length));
        if (n < 1)
            return 0;
        written = int(n);
    }
    if (sync)
        ::fsync(parentWrite);
    return written;
}

bool mobiledevice_pipe::writeRequest(const PlistCFType& request)
{
    const QByteArray body = request.CFPropertyListToBytes(CFPropertyListXMLFormat);
    if (body.isEmpty())
        return true;
    if (!waitFor(parentWrite, true))
        return false;
    const qint32 length = qint32(body.size());
    if (::write(parentWrite, &length, 4) != 4)
        return false;
    ::fsync(parentWrite);
    return write(body.constData(), body.size(), true) == body.size();
}

PlistCFType mobiledevice_pipe::readReponse()
{
    qint32 length = 0;
    if (read(reinterpret_cast<char*>(&length), 4) != 4)
        return PlistCFType(nullptr, true);
    if (length <= 0 || length > kMaxMessage)
        return PlistCFType(nullptr, true);
    QByteArray body(length, '\0');
    if (read(body.data(), length) != length)
        return PlistCFType(nullptr, true);
    return PlistCFType::createCFPropertyList(body);
}

void mobiledevice_pipe::close()
{
    for (int* fd : { &parentRead, &childWrite, &childRead, &parentWrite }) {
        if (*fd != 0)
            ::close(*fd);
        *fd = 0;
    }
}
