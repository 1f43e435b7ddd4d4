#include "device/BinaryPlistTable.h"

#include <QString>
#include <cmath>
#include <cstring>

bool BinaryPlistTable::realToInteger(double d, qint64& value)
{
    // 2^63 is exact in a double; everything in [-2^63, 2^63) converts without overflow.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(d) || d >= kLimit || d < -kLimit)
        return false;
    value = qint64(d);
    return true;
}

bool BinaryPlistTable::open(const char* d, qsizetype n)
{
    m_data = reinterpret_cast<const uchar*>(d);
    if (!d || n < qsizetype(kHeaderSize + kTrailerSize) || std::memcmp(d, "bplist", 6) != 0)
        return false;
    m_end = quint64(n) - kTrailerSize;
    const uchar* t = m_data + m_end;
    m_offsetSize = t[6];
    m_refSize = t[7];
    m_count = be(t + 8, 8);
    m_top = be(t + 16, 8);
    m_tableOffset = be(t + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_count == 0
        || m_top >= m_count)
        return false;
    return m_tableOffset >= kHeaderSize && fits(m_tableOffset, m_count, quint64(m_offsetSize));
}

bool BinaryPlistTable::extendedLength(Header& h) const
{
    // The length follows as an integer object of 1, 2, 4 or 8 bytes.
    if (!fits(h.pos, 1, 1) || (m_data[h.pos] >> 4) != kInteger)
        return false;
    const int sizeLog = m_data[h.pos] & 0x0F;
    if (sizeLog > 3 || !fits(h.pos + 1, quint64(1) << sizeLog, 1))
        return false;
    h.length = be(m_data + h.pos + 1, 1 << sizeLog);
    h.pos += 1 + (quint64(1) << sizeLog);
    return true;
}

bool BinaryPlistTable::otherInteger(const Header& h, qint64& value) const
{
    if (h.kind == kInteger) { // 128-bit form: the low 8 bytes carry the value
        value = qint64(be(m_data + h.pos + 8, 8));
        return true;
    }
    if (h.kind != kReal)
        return false;
    if (h.length == 8) {
        const quint64 bits = be(m_data + h.pos, 8);
        double d;
        std::memcpy(&d, &bits, 8);
        return realToInteger(d, value);
    }
    if (h.length == 4) {
        const quint32 bits = quint32(be(m_data + h.pos, 4));
        float f;
        std::memcpy(&f, &bits, 4);
        return realToInteger(double(f), value);
    }
    return false;
}

bool BinaryPlistTable::bytes(quint64 idx, QByteArray& out) const
{
    Header h;
    if (!header(idx, h))
        return false;
    if (h.kind == kUtf16) {
        if (!fits(h.pos, h.length, 2))
            return false;
        QString s(qsizetype(h.length), Qt::Uninitialized);
        QChar* chars = s.data();
        const uchar* p = m_data + h.pos;
        for (quint64 i = 0; i < h.length; ++i)
            chars[i] = QChar(ushort(p[2 * i] << 8 | p[2 * i + 1]));
        out = s.toUtf8();
        return true;
    }
    if ((h.kind != kData && h.kind != kAscii) || !fits(h.pos, h.length, 1))
        return false;
    out = QByteArray(reinterpret_cast<const char*>(m_data + h.pos), qsizetype(h.length));
    return true;
}

bool BinaryPlistTable::isAscii(quint64 idx, const char* text, quint64 length) const
{
    Header h;
    return header(idx, h) && h.kind == kAscii && h.length == length && fits(h.pos, length, 1)
        && std::memcmp(m_data + h.pos, text, length) == 0;
}

bool BinaryPlistTable::lookup(quint64 idx, const char* key, quint64& value) const
{
    quint8 kind;
    quint64 n, first;
    if (!references(idx, kind, n, first) || kind != kDict)
        return false;
    const quint64 klen = std::strlen(key);
    for (quint64 i = 0; i < n; ++i) {
        if (isAscii(reference(first, i), key, klen)) {
            value = reference(first, n + i);
            return true;
        }
    }
    return false;
}
