#include "support/FailDevice.h"

#include <algorithm>
#include <cstring>

FailDevice::FailDevice(OpenMode mode, qint64 okBytes, const QString& error)
    : m_okBytes(okBytes)
    , m_error(error)
{
    open(mode | QIODevice::Unbuffered);
}

qint64 FailDevice::readData(char* data, qint64 maxSize)
{
    const qint64 available = std::min(room(), qint64(m_input.size()) - m_used);
    if (available <= 0) {
        setErrorString(m_error);
        return -1;
    }
    const qint64 n = std::min(maxSize, available);
    std::memcpy(data, m_input.constData() + m_used, size_t(n));
    m_used += n;
    return n;
}

qint64 FailDevice::writeData(const char* data, qint64 maxSize)
{
    if (room() <= 0) {
        setErrorString(m_error);
        return -1;
    }
    const qint64 n = std::min(maxSize, room());
    m_written.append(data, n);
    m_used += n;
    return n;
}
