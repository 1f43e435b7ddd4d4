#pragma once

#include <QByteArray>
#include <QtGlobal>

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
    const uchar* data() const { return m_data; }

    // The header of object idx; false when idx or its offset is out of range or the header runs
    // past the objects.
    bool header(quint64 idx, Header& h) const;
    // The references held by a container (arrays and sets: items; dictionaries: keys, then values).
    // False when idx is no container or its references run past the objects.
    bool references(quint64 idx, quint8& kind, quint64& items, quint64& first) const;
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

    // Whether `count` units of `unit` bytes from pos lie inside the objects.
    bool fits(quint64 pos, quint64 count, quint64 unit) const
    {
        return pos <= m_end && count <= (m_end - pos) / unit;
    }

    static quint64 be(const uchar* p, int bytes);
    // A real converted to a 64-bit integer toward zero; false for NaN and values out of range.
    static bool realToInteger(double d, qint64& value);

private:
    const uchar* m_data = nullptr;
    quint64 m_end = 0; // the first byte past the objects: the trailer
    quint64 m_tableOffset = 0;
    quint64 m_count = 0;
    quint64 m_top = 0;
    int m_offsetSize = 0;
    int m_refSize = 0;
};
