#include "backup/MBFileArchive.h"

#include <QString>
#include <cstring>

namespace
{

// A bounds-checked view of a binary property list ("bplist00").
class BPlist
{
public:
    bool open(const char* d, qsizetype n)
    {
        data = reinterpret_cast<const uchar*>(d);
        size = n;
        if (n < 8 + 32 || std::memcmp(d, "bplist00", 8) != 0)
            return false;
        const uchar* t = data + n - 32;
        offsetSize = t[6];
        refSize = t[7];
        count = be(t + 8, 8);
        top = be(t + 16, 8);
        tableOffset = be(t + 24, 8);
        if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || count == 0 || top >= count)
            return false;
        if (tableOffset < 8 || tableOffset > quint64(n - 32)
            || count > (quint64(n - 32) - tableOffset) / offsetSize)
            return false;
        return true;
    }

    static quint64 be(const uchar* p, int bytes)
    {
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | p[i];
        return v;
    }

    // Offset of object idx, or 0 when out of range.
    quint64 offsetOf(quint64 idx) const
    {
        if (idx >= count)
            return 0;
        const quint64 off = be(data + tableOffset + idx * offsetSize, offsetSize);
        return off >= 8 && off < tableOffset ? off : 0;
    }

    // Reads the length of a container or string at off (after its marker); sets pos to the payload.
    bool length(quint64 off, quint64& len, quint64& pos) const
    {
        const uchar m = data[off];
        len = m & 0x0F;
        pos = off + 1;
        if (len == 0x0F) {
            if (pos >= tableOffset)
                return false;
            const uchar im = data[pos];
            if ((im & 0xF0) != 0x10)
                return false;
            const int bytes = 1 << (im & 0x0F);
            if (bytes > 8 || pos + 1 + bytes > tableOffset)
                return false;
            len = be(data + pos + 1, bytes);
            pos += 1 + bytes;
        }
        return true;
    }

    quint64 ref(quint64 pos, quint64 i) const { return be(data + pos + i * refSize, refSize); }

    // Dictionary at object idx: its key and value reference arrays.
    bool dict(quint64 idx, quint64& n, quint64& keys, quint64& values) const
    {
        const quint64 off = offsetOf(idx);
        if (!off || (data[off] & 0xF0) != 0xD0 || !length(off, n, keys))
            return false;
        values = keys + n * refSize;
        return n <= tableOffset && values + n * refSize <= tableOffset;
    }

    bool array(quint64 idx, quint64& n, quint64& items) const
    {
        const quint64 off = offsetOf(idx);
        if (!off || (data[off] & 0xF0) != 0xA0 || !length(off, n, items))
            return false;
        return n <= tableOffset && items + n * refSize <= tableOffset;
    }

    // True when object idx is the ASCII string s.
    bool isAscii(quint64 idx, const char* s, quint64 slen) const
    {
        const quint64 off = offsetOf(idx);
        if (!off || (data[off] & 0xF0) != 0x50)
            return false;
        quint64 len, pos;
        if (!length(off, len, pos) || len != slen || pos + len > tableOffset)
            return false;
        return std::memcmp(data + pos, s, slen) == 0;
    }

    bool integer(quint64 idx, qint64& v) const
    {
        const quint64 off = offsetOf(idx);
        if (!off)
            return false;
        const uchar m = data[off];
        if ((m & 0xF0) == 0x10) {
            const int bytes = 1 << (m & 0x0F);
            if (off + 1 + bytes > tableOffset)
                return false;
            if (bytes == 16) // 128-bit form: the low 8 bytes carry the value
                v = qint64(be(data + off + 9, 8));
            else if (bytes <= 8)
                v = qint64(be(data + off + 1, bytes));
            else
                return false;
            return true;
        }
        if ((m & 0xF0) == 0x20) { // a real where an integer is expected
            const int bytes = 1 << (m & 0x0F);
            if (off + 1 + bytes > tableOffset)
                return false;
            if (bytes == 8) {
                quint64 bits = be(data + off + 1, 8);
                double d;
                std::memcpy(&d, &bits, 8);
                v = qint64(d);
                return true;
            }
            if (bytes == 4) {
                quint32 bits = quint32(be(data + off + 1, 4));
                float f;
                std::memcpy(&f, &bits, 4);
                v = qint64(f);
                return true;
            }
        }
        return false;
    }

    bool uid(quint64 idx, quint64& v) const
    {
        const quint64 off = offsetOf(idx);
        if (!off || (data[off] & 0xF0) != 0x80)
            return false;
        const int bytes = (data[off] & 0x0F) + 1;
        if (bytes > 8 || off + 1 + bytes > tableOffset)
            return false;
        v = be(data + off + 1, bytes);
        return true;
    }

    // A string (ASCII or UTF-16) as UTF-8, or data bytes.
    bool bytes(quint64 idx, QByteArray& out) const
    {
        const quint64 off = offsetOf(idx);
        if (!off)
            return false;
        const uchar kind = data[off] & 0xF0;
        quint64 len, pos;
        if ((kind != 0x40 && kind != 0x50 && kind != 0x60) || !length(off, len, pos))
            return false;
        const quint64 byteLen = kind == 0x60 ? len * 2 : len;
        if (byteLen > tableOffset || pos + byteLen > tableOffset)
            return false;
        if (kind == 0x60) {
            QString s(qsizetype(len), Qt::Uninitialized);
            for (quint64 i = 0; i < len; ++i)
                s[qsizetype(i)] = QChar(ushort(data[pos + 2 * i] << 8 | data[pos + 2 * i + 1]));
            out = s.toUtf8();
        } else
            out = QByteArray(reinterpret_cast<const char*>(data + pos), qsizetype(len));
        return true;
    }

    // The value of key in the dictionary at idx; false when absent.
    bool lookup(quint64 idx, const char* key, quint64& value) const
    {
        quint64 n, keys, values;
        if (!dict(idx, n, keys, values))
            return false;
        const quint64 klen = std::strlen(key);
        for (quint64 i = 0; i < n; ++i)
            if (isAscii(ref(keys, i), key, klen)) {
                value = ref(values, i);
                return true;
            }
        return false;
    }

    const uchar* data = nullptr;
    qsizetype size = 0;
    int offsetSize = 0;
    int refSize = 0;
    quint64 count = 0;
    quint64 top = 0;
    quint64 tableOffset = 0;
};

} // namespace

bool MBFileArchive::decode(const char* data, qsizetype size, Fields& out, bool wantKey, bool wantStrings)
{
    BPlist p;
    if (!p.open(data, size))
        return false;
    quint64 objectsRef, topRef, rootRef, rootUid;
    if (!p.lookup(p.top, "$objects", objectsRef) || !p.lookup(p.top, "$top", topRef)
        || !p.lookup(topRef, "root", rootRef) || !p.uid(rootRef, rootUid))
        return false;
    quint64 nObjects, items;
    if (!p.array(objectsRef, nObjects, items) || rootUid >= nObjects)
        return false;
    // Archive UIDs index $objects; turn one into an object reference.
    auto object = [&](quint64 uidValueRef, quint64& objRef) {
        quint64 u;
        if (!p.uid(uidValueRef, u) || u >= nObjects)
            return false;
        objRef = p.ref(items, u);
        return true;
    };
    const quint64 root = p.ref(items, rootUid);
    quint64 n, keys, values;
    if (!p.dict(root, n, keys, values))
        return false;
    out = Fields();
    for (quint64 i = 0; i < n; ++i) {
        const quint64 k = p.ref(keys, i);
        const quint64 v = p.ref(values, i);
        const quint64 koff = p.offsetOf(k);
        if (!koff || (p.data[koff] & 0xF0) != 0x50)
            continue;
        quint64 klen, kpos;
        if (!p.length(koff, klen, kpos) || kpos + klen > p.tableOffset)
            continue;
        const char* name = reinterpret_cast<const char*>(p.data + kpos);
        auto is
            = [&]<size_t N>(const char(&s)[N]) { return N - 1 == klen && std::memcmp(name, s, N - 1) == 0; };
        switch (name[0]) {
        case 'S':
            if (is("Size"))
                p.integer(v, out.size);
            break;
        case 'M':
            if (is("Mode"))
                out.hasMode = p.integer(v, out.mode);
            break;
        case 'L':
            if (is("LastModified"))
                p.integer(v, out.lastModified);
            else if (is("LastStatusChange"))
                p.integer(v, out.lastStatusChange);
            break;
        case 'B':
            if (is("Birth"))
                p.integer(v, out.birth);
            break;
        case 'I':
            if (is("InodeNumber"))
                p.integer(v, out.inode);
            break;
        case 'U':
            if (is("UserID"))
                p.integer(v, out.userId);
            break;
        case 'G':
            if (is("GroupID"))
                p.integer(v, out.groupId);
            break;
        case 'P':
            if (is("ProtectionClass"))
                p.integer(v, out.protectionClass);
            break;
        case 'F':
            if (is("Flags"))
                p.integer(v, out.flags);
            break;
        case 'R':
            if (wantStrings && is("RelativePath")) {
                quint64 obj;
                if (object(v, obj))
                    p.bytes(obj, out.relativePath);
            }
            break;
        case 'T':
            if (wantStrings && is("Target")) {
                quint64 obj;
                if (object(v, obj))
                    p.bytes(obj, out.target);
                else
                    p.bytes(v, out.target);
            }
            break;
        case 'E':
            if (wantKey && is("EncryptionKey")) {
                quint64 obj, dataRef;
                if (object(v, obj) && p.lookup(obj, "NS.data", dataRef)) {
                    quint64 dataObj; // some writers put the bytes in an object of their own
                    if (object(dataRef, dataObj))
                        dataRef = dataObj;
                    p.bytes(dataRef, out.encryptionKey);
                }
            }
            break;
        default:
            break;
        }
    }
    return true;
}
