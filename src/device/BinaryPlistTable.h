#pragma once

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>
#include <QtNumeric>

// A bounds-checked view of the object table of a binary property list ("bplist00"): the trailer,
// the offset table, object headers and references. It never reads outside the given bytes and
// every size is checked before it is multiplied or added, so hostile input gives `false`, never a
// wrapped length. Object contents must lie between the 8-byte header and the 32-byte trailer.
class BinaryPlistTable
{
public:
    // Object kinds: the high nibble of an object's marker byte.
    enum Kind : quint8 {
        kSimple = 0x0,
        kInteger = 0x1,
        kReal = 0x2,
        kDate = 0x3,
        kData = 0x4,
        kAscii = 0x5,
        kUtf16 = 0x6,
        kUid = 0x8,
        kArray = 0xA,
        kOrderedSet = 0xB,
        kSet = 0xC,
        kDict = 0xD,
    };

    // One object's header: its kind, its length (items for containers and strings, bytes for
    // numbers and UIDs) and where its contents begin.
    struct Header {
        quint8 kind = 0;
        quint64 length = 0;
        quint64 pos = 0;
    };

    // False when the bytes are not a binary property list with a readable trailer and offset table.
    bool open(const char* data, qsizetype size);

    quint64 count() const { return m_count; }
    quint64 top() const { return m_top; }
    int refSize() const { return m_refSize; }
    int offsetSize() const { return m_offsetSize; }
    const uchar* data() const { return m_data; }

    // Where object idx begins; false when idx or its offset is out of range, as for header().
    bool offset(quint64 idx, quint64& off) const
    {
        if (idx >= m_count)
            return false;
        off = be(offsetEntries(idx), m_offsetSize);
        return off >= kHeaderSize && off < m_end;
    }

    // The header of object idx; false when idx or its offset is out of range or the header runs
    // past the objects. This and the scalar readers are inline: decoding a record calls them for
    // every key and value.
    bool header(quint64 idx, Header& h) const;
    // The references held by a container (arrays and sets: items; dictionaries: keys, then values).
    // False when idx is no container or its references run past the objects.
    bool references(quint64 idx, quint8& kind, quint64& items, quint64& first) const;
    // The raw offset table entries from object first on (the caller keeps to objects below count()).
    const uchar* offsetEntries(quint64 first) const
    {
        return m_data + m_tableOffset + first * quint64(m_offsetSize);
    }
    // Reference i of a reference run starting at first (checked by references()).
    quint64 reference(quint64 first, quint64 i) const
    {
        return be(m_data + first + i * quint64(m_refSize), m_refSize);
    }

    // Scalars. integer() also takes a real that fits a 64-bit integer (truncated toward zero).
    bool integer(quint64 idx, qint64& value) const;
    bool uid(quint64 idx, quint64& value) const;
    // Strings as UTF-8 (ASCII or UTF-16) or data bytes; false for other kinds.
    bool bytes(quint64 idx, QByteArray& out) const;
    // True when object idx is the ASCII string of the given length.
    bool isAscii(quint64 idx, const char* text, quint64 length) const;
    // The value of an ASCII key of the dictionary at idx; false when absent or no dictionary.
    bool lookup(quint64 idx, const char* key, quint64& value) const;

    // Whether `count` units of `unit` bytes from pos lie inside the objects. (The product is
    // checked for overflow instead of dividing: a division per check is slow.)
    bool fits(quint64 pos, quint64 count, quint64 unit) const
    {
        quint64 bytes;
        return pos <= m_end && !qMulOverflow(count, unit, &bytes) && bytes <= m_end - pos;
    }

    // A big-endian number of 0 to 8 bytes.
    static quint64 be(const uchar* p, int bytes)
    {
        switch (bytes) {
        case 1:
            return p[0];
        case 2:
            return qFromBigEndian<quint16>(p);
        case 4:
            return qFromBigEndian<quint32>(p);
        case 8:
            return qFromBigEndian<quint64>(p);
        default:
            break;
        }
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | p[i];
        return v;
    }
    // A real converted to a 64-bit integer toward zero; false for NaN and values out of range.
    static bool realToInteger(double d, qint64& value);

private:
    static constexpr quint64 kHeaderSize = 8; // "bplist00"
    static constexpr quint64 kTrailerSize = 32;

    // The rest of header() for a length that follows the marker as an integer object.
    bool extendedLength(Header& h) const;
    // The rest of integer() for the 128-bit form and reals.
    bool otherInteger(const Header& h, qint64& value) const;

    const uchar* m_data = nullptr;
    quint64 m_end = 0; // the first byte past the objects: the trailer
    quint64 m_tableOffset = 0;
    quint64 m_count = 0;
    quint64 m_top = 0;
    int m_offsetSize = 0;
    int m_refSize = 0;
};

Q_ALWAYS_INLINE bool BinaryPlistTable::header(quint64 idx, Header& h) const
{
    quint64 off;
    if (!offset(idx, off))
        return false;
    const uchar marker = m_data[off];
    h.kind = marker >> 4;
    const int info = marker & 0x0F;
    h.pos = off + 1;
    switch (h.kind) {
    case kSimple:
        h.length = 0;
        return true;
    case kInteger:
    case kReal:
        h.length = quint64(1) << (info & 0x7);
        return info <= 4 && fits(h.pos, h.length, 1);
    case kDate:
        h.length = 8;
        return fits(h.pos, 8, 1);
    case kUid:
        h.length = quint64(info) + 1;
        return h.length <= 8 && fits(h.pos, h.length, 1);
    default:
        break;
    }
    h.length = quint64(info);
    return info != 0x0F || extendedLength(h);
}

inline bool BinaryPlistTable::references(quint64 idx, quint8& kind, quint64& items, quint64& first) const
{
    Header h;
    if (!header(idx, h) || (h.kind != kArray && h.kind != kOrderedSet && h.kind != kSet && h.kind != kDict))
        return false;
    // A dictionary holds two references per entry; checking the count first keeps 2 * n exact.
    if (!fits(h.pos, h.length, quint64(m_refSize))
        || (h.kind == kDict && !fits(h.pos, 2 * h.length, quint64(m_refSize))))
        return false;
    kind = h.kind;
    items = h.length;
    first = h.pos;
    return true;
}

inline bool BinaryPlistTable::integer(quint64 idx, qint64& value) const
{
    Header h;
    if (!header(idx, h))
        return false;
    if (h.kind == kInteger && h.length <= 8) {
        value = qint64(be(m_data + h.pos, int(h.length)));
        return true;
    }
    return otherInteger(h, value);
}

inline bool BinaryPlistTable::uid(quint64 idx, quint64& value) const
{
    Header h;
    if (!header(idx, h) || h.kind != kUid)
        return false;
    value = be(m_data + h.pos, int(h.length));
    return true;
}
