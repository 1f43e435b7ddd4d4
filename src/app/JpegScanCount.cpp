#include "app/JpegScanCount.h"

#include <cstring>

qint64 JpegScanCount::feed(const uchar* data, qint64 size)
{
    qint64 used = 0;
    while (used < size) {
        used += consume(data + used, size - used);
        // Right after a start-of-scan marker, before its length.
        if (m_state == State::LengthHigh && m_code == 0xDA)
            break;
    }
    m_fed += used;
    return used;
}

// Takes what it can of the bytes in the current state and says how many it took (at least one).
qint64 JpegScanCount::consume(const uchar* data, qint64 size)
{
    switch (m_state) {
    case State::Segment: {
        const qint64 used = qMin(m_left, size);
        m_left -= used;
        if (m_left == 0)
            m_state = m_code == 0xDA ? State::Coded : State::Between;
        return used;
    }
    case State::Coded: {
        // Coded data runs to the next 0xFF; what follows that says whether a marker starts there.
        const void* ff = std::memchr(data, 0xFF, size_t(size));
        if (!ff)
            return size;
        m_state = State::CodedFF;
        return static_cast<const uchar*>(ff) - data + 1;
    }
    case State::Ended:
        return size;
    default:
        break;
    }
    const uchar b = *data;
    switch (m_state) {
    case State::Between: // the decoder skips what is not a marker here
        if (b == 0xFF)
            m_state = State::Code;
        break;
    case State::CodedFF: // a stuffed zero or a restart marker stays within the scan
        if (b == 0x00 || (b >= 0xD0 && b <= 0xD7))
            m_state = State::Coded;
        else if (b != 0xFF)
            marker(b);
        break;
    case State::Code:
        if (b != 0xFF)
            marker(b);
        break;
    case State::LengthHigh:
        m_length = b << 8;
        m_state = State::LengthLow;
        break;
    case State::LengthLow:
        m_length |= b;
        if (m_code == 0xDA)
            ++m_scans;
        m_left = qMax(0, m_length - 2);
        m_state = m_left > 0 ? State::Segment : m_code == 0xDA ? State::Coded : State::Between;
        break;
    default:
        break;
    }
    return 1;
}

void JpegScanCount::marker(uchar code)
{
    m_code = code;
    if (code == 0xD9)
        m_state = State::Ended;
    else if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7) || code == 0x00)
        m_state = State::Between; // markers without a segment
    else
        m_state = State::LengthHigh;
}
