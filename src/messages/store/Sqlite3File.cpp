#include "messages/store/Sqlite3File.h"

#include <QFileInfo>
#include <QSet>
#include <cstring>
#include <stdexcept>

namespace
{

// Deeper b-trees than this do not occur in files SQLite writes (a 64 KiB-page, 281 TB file needs
// far fewer levels); the bound keeps a damaged tree from recursing without end.
constexpr int kMaxTreeDepth = 64;

bool fits(const char* p, qint64 n, const char* end)
{
    return p && p < end && n >= 0 && n <= end - p;
}

quint64 readBigEndian(const char* p, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | quint8(p[i]);
    return v;
}

// How many serial types [p, end) holds: each ends at the one byte of it under 0x80 (no serial type
// takes nine bytes). Eight bytes at a time: the headers of every live record pass here.
int serialTypeCount(const char* p, const char* end)
{
    int count = 0;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        // One bit a byte moved to the byte's bottom, the eight summed into the top byte.
        count += int((((~word & 0x8080808080808080ULL) >> 7) * 0x0101010101010101ULL) >> 56);
    }
    for (; p < end; ++p)
        count += !(quint8(*p) & 0x80);
    return count;
}
} // namespace

int sqlitefile_varint(qint64* out, const char* p, const char* end)
{
    quint64 v = 0;
    for (int i = 0; i < 9; ++i) {
        if (!p || p + i >= end)
            return 0;
        const quint8 b = quint8(p[i]);
        if (i == 8) {
            v = (v << 8) | b;
            *out = qint64(v);
            return 9;
        }
        v = (v << 7) | (b & 0x7f);
        if (!(b & 0x80)) {
            *out = qint64(v);
            return i + 1;
        }
    }
    return 0;
}

int sqlitefile_varint_lengh(const qint64& v)
{
    if (v < 0)
        return 1;
    int n = 1;
    for (qint64 limit = 128; n < 9 && v >= limit; ++n) {
        if (n == 8)
            return 9;
        limit <<= 7;
    }
    return n;
}

qint8 sqlitefile_byte(const char* p, const char* end)
{
    return fits(p, 1, end) ? qint8(p[0]) : 0;
}

qint16 sqlitefile_int16(const char* p, const char* end)
{
    return fits(p, 2, end) ? qint16(readBigEndian(p, 2)) : 0;
}

qint32 sqlitefile_int32(const char* p, const char* end)
{
    return fits(p, 4, end) ? qint32(quint32(readBigEndian(p, 4))) : 0;
}

qint64 sqlitefile_int64(const char* p, const char* end)
{
    return fits(p, 8, end) ? qint64(readBigEndian(p, 8)) : 0;
}

int sqlitefile_bytes(void* dst, int n, const char* p, const char* end)
{
    if (!p || p >= end || n < 1)
        return 0;
    const int count = int(qMin<qint64>(n, end - p));
    std::memcpy(dst, p, size_t(count));
    return count;
}

QByteArray sqlitefile_bytearr(int n, const char* p, const char* end)
{
    if (!p || p >= end || n < 1)
        return QByteArray();
    return QByteArray(p, int(qMin<qint64>(n, end - p)));
}

Sqlite3File::Sqlite3File(const QString& path)
    : file(path)
{
}

void Sqlite3File::open()
{
    const QString name = QFileInfo(file.fileName()).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QString("open %1 failed. %2").arg(name, file.errorString()).toStdString());
    fileSize = file.size();
    if (fileSize <= 18)
        throw std::runtime_error("invalid page size.");
    const uchar* map = file.map(0, fileSize);
    if (!map)
        throw std::runtime_error(QString("map %1 failed. %2").arg(name, file.errorString()).toStdString());
    base = reinterpret_cast<const char*>(map);
    end = base + fileSize;
    // The stored size is a power of two from 512 to 32768, or 1 for 65536.
    const quint32 stored = quint16(sqlitefile_int16(base + 16, end));
    const quint32 size = stored == 1 ? 65536 : stored;
    if (size < 512 || (size & (size - 1)) != 0)
        throw std::runtime_error("invalid page size.");
    pageSize = qint32(size);
    const int reserved = quint8(sqlitefile_byte(base + 20, end));
    m_usableSize = pageSize - reserved;
    if (m_usableSize < 480)
        throw std::runtime_error("invalid page size.");
}

quint32 Sqlite3File::firstFreeTrunkPage() const
{
    return quint32(sqlitefile_int32(base + 32, end));
}

quint32 Sqlite3File::totalFreeListPages() const
{
    return quint32(sqlitefile_int32(base + 36, end));
}

qint64 Sqlite3File::pages() const
{
    return pageSize > 0 ? fileSize / pageSize : 0;
}

const char* Sqlite3File::pageStart(qint64 n) const
{
    if (n < 1 || !base)
        return nullptr;
    const qint64 offset = (n - 1) * qint64(pageSize);
    return offset < fileSize ? base + offset : end;
}

_SqliteBtreePage Sqlite3File::btreePage(qint64 n) const
{
    _SqliteBtreePage p;
    if (n < 1 || n > INT_MAX)
        return p;
    p.pageNo = qint32(n);
    p.page = pageStart(n);
    p.header = (n == 1 && p.page != end) ? p.page + 100 : p.page;
    if (!fits(p.header, 1, end))
        return p;
    p.type = quint8(p.header[0]);
    if (!p.isBtreePage())
        return p;
    const char* pageEnd = p.page + qMin<qint64>(pageSize, end - p.page);
    p.firstFreeblock = quint16(sqlitefile_int16(p.header + 1, end));
    const int cellCount = quint16(sqlitefile_int16(p.header + 3, end));
    p.cellContentStart = quint16(sqlitefile_int16(p.header + 5, end));
    p.fragmentedBytes = quint8(sqlitefile_byte(p.header + 7, end));
    p.rightChild = p.isLeaf() ? 0 : quint32(sqlitefile_int32(p.header + 8, end));
    // The pointer array cannot hold more entries than the page has room for.
    const char* array = p.header + (p.isLeaf() ? 8 : 12);
    const int room = array < pageEnd ? int((pageEnd - array) / 2) : 0;
    for (int i = 0; i < qMin(cellCount, room); ++i)
        p.cells.append(p.page + quint16(sqlitefile_int16(array + 2 * i, end)));
    // Freeblocks come in increasing offset order; a link that does not move forward ends the chain.
    qint64 offset = p.firstFreeblock;
    while (offset > 0 && p.page + offset < pageEnd) {
        p.freeblocks.append(p.page + offset);
        if (offset + 2 >= pageSize)
            break;
        const qint64 next = quint16(sqlitefile_int16(p.page + offset, pageEnd));
        if (next <= offset)
            break;
        offset = next;
    }
    return p;
}

_SqliteFreeTrunkPage Sqlite3File::freeTrunkPage(qint64 n) const
{
    _SqliteFreeTrunkPage t;
    if (n < 1 || n > INT_MAX)
        return t;
    t.pageNo = qint32(n);
    t.page = pageStart(n);
    t.nextTrunk = quint32(sqlitefile_int32(t.page, end));
    const qint64 count = quint32(sqlitefile_int32(t.page + 4, end));
    // A trunk holds at most (usable size / 4) - 2 leaf numbers.
    const qint64 limit = qMin<qint64>(count, m_usableSize / 4 - 2);
    for (qint64 i = 0; i < limit; ++i)
        t.leafPages.append(sqlitefile_int32(t.page + 8 + 4 * i, end));
    return t;
}

_SqlitePageCellRow Sqlite3File::pageCellRow(const _SqliteBtreePage& page, const char* cell) const
{
    _SqlitePageCellRow r;
    const char* p = cell;
    if (!page.isLeaf()) {
        r.leftChild = quint32(sqlitefile_int32(p, end));
        p += 4;
        r.cellSize = 4;
    }
    int n = 0;
    if (page.type == 5) {
        n = sqlitefile_varint(&r.rowid, p, end);
        r.payload = p + n;
        r.cellSize += n;
        return r;
    }
    n = sqlitefile_varint(&r.payloadSize, p, end);
    p += n;
    r.cellSize += n;
    if (page.type == 13) {
        n = sqlitefile_varint(&r.rowid, p, end);
        p += n;
        r.cellSize += n;
    }
    r.payload = p;
    if (r.payloadSize < 1)
        return r;
    const qint64 u = m_usableSize;
    const qint64 m = ((u - 12) * 32 / 255) - 23;
    const qint64 x = page.isIndex() ? ((u - 12) * 64 / 255) - 23 : u - 35;
    if (r.payloadSize <= x) {
        r.localSize = qint32(r.payloadSize);
        r.cellSize += r.localSize;
        return r;
    }
    const qint64 k = m + ((r.payloadSize - m) % (u - 4));
    r.localSize = qint32(k <= x ? k : m);
    r.overflowPage = quint32(sqlitefile_int32(r.payload + r.localSize, end));
    r.cellSize += r.localSize + 4;
    return r;
}

QSet<int> Sqlite3File::recordWidths(const QList<qint64>& pages) const
{
    // Read straight from the leaves' bytes: every live record of a large table passes here.
    QSet<int> widths;
    int last = -1; // neighbouring records are mostly of one width
    const qint64 x = m_usableSize - 35;
    const qint64 m = ((m_usableSize - 12) * 32 / 255) - 23;
    for (qint64 n : pages) {
        const char* page = pageStart(n);
        const char* header = n == 1 ? page + 100 : page;
        if (!fits(header, 8, end) || quint8(header[0]) != 13)
            continue;
        const char* pageEnd = page + qMin<qint64>(pageSize, end - page);
        const int count = quint16(sqlitefile_int16(header + 3, end));
        for (int i = 0; i < count && header + 10 + 2 * i <= pageEnd; ++i) {
            const char* p = page + quint16(sqlitefile_int16(header + 8 + 2 * i, end));
            qint64 payload = 0;
            qint64 value = 0;
            p += sqlitefile_varint(&payload, p, pageEnd);
            p += sqlitefile_varint(&value, p, pageEnd);
            // The header must lie in the part of the cell its page holds.
            const qint64 local = payload <= x ? payload : m;
            const int n = sqlitefile_varint(&value, p, pageEnd);
            if (n == 0 || value > local || value > pageEnd - p)
                continue;
            const int width = serialTypeCount(p + n, p + value);
            if (width != last)
                widths.insert(last = width);
        }
    }
    widths.remove(0);
    return widths;
}

QByteArray Sqlite3File::overflowBytes(quint32 first, qint64 missing) const
{
    QByteArray out;
    quint32 pageNo = first;
    // Each page is visited at most once: a chain longer than the file has pages is a cycle.
    for (qint64 steps = 0; missing > 0 && pageNo > 1 && steps < pages(); ++steps) {
        if (pageNo > pages())
            break;
        const char* pg = pageStart(pageNo);
        const quint32 next = quint32(sqlitefile_int32(pg, end));
        const qint64 chunk = qMin<qint64>(missing, m_usableSize - 4);
        const QByteArray part = sqlitefile_bytearr(int(chunk), pg + 4, end);
        out.append(part);
        if (missing <= chunk || part.size() < chunk)
            break;
        missing -= chunk;
        if (next < 2)
            break;
        pageNo = next;
    }
    return out;
}

QByteArray Sqlite3File::cellRowPayload(const _SqlitePageCellRow& cell) const
{
    if (cell.payloadSize < 1)
        return QByteArray();
    QByteArray out;
    if (cell.localSize > 0)
        out = sqlitefile_bytearr(cell.localSize, cell.payload, end);
    // A payload never exceeds the file; a larger declared size is damage.
    const qint64 remaining = qMin(cell.payloadSize, fileSize) - cell.localSize;
    if (remaining > 0 && cell.overflowPage > 1)
        out.append(overflowBytes(cell.overflowPage, remaining));
    return out;
}

QList<QVariant> Sqlite3File::decodeValues(const QList<qint64>& types, const char* p, const char* end)
{
    QList<QVariant> values;
    appendValues(values, types, p, end);
    return values;
}

void Sqlite3File::appendValues(
    QList<QVariant>& values, const QList<qint64>& types, const char* p, const char* end)
{
    values.reserve(values.size() + types.size());
    static constexpr int widths[] = { 0, 1, 2, 3, 4, 6, 8, 8 };
    for (qint64 t : types) {
        if (t >= 1 && t <= 7) {
            const int w = widths[t];
            const qint64 avail = p < end ? end - p : 0;
            quint64 v = 0;
            if (t == 3 || t == 5 || t == 7) {
                // Cut by the end: the bytes there are the high-order part.
                for (int i = 0; i < w; ++i)
                    v = (v << 8) | (i < avail ? quint8(p[i]) : 0);
            } else if (avail >= w) {
                v = readBigEndian(p, w);
            }
            const int shift = 64 - 8 * w;
            const qint64 s = qint64(v << shift) >> shift;
            if (t == 7) {
                double d;
                std::memcpy(&d, &v, sizeof d);
                values.append(d);
            } else if (t <= 4) {
                values.append(int(s));
            } else {
                values.append(s);
            }
            p += w;
        } else if (t == 8 || t == 9) {
            values.append(int(t - 8));
        } else if (t >= 12) {
            const qint64 len = (t - (t % 2 ? 13 : 12)) / 2;
            const qint64 avail = p < end ? end - p : 0;
            const qint64 take = qMin(len, avail);
            const QByteArray bytes = take > 0 ? QByteArray(p, int(take)) : QByteArray();
            if (t % 2) {
                const int nul = bytes.indexOf('\0');
                values.append(QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul)));
            } else {
                values.append(bytes);
            }
            p += take;
        } else {
            values.append(QVariant());
        }
    }
}

_SqliteFileRowData Sqlite3File::cellRowData(const _SqlitePageCellRow& cell) const
{
    _SqliteFileRowData row;
    row.rowid = cell.rowid;
    const QByteArray payload = cellRowPayload(cell);
    if (payload.isEmpty())
        return row;
    const char* p = payload.constData();
    const char* pend = p + payload.size();
    qint64 headerLen = 0;
    const int n = sqlitefile_varint(&headerLen, p, pend);
    if (n == 0 || headerLen < n || headerLen > payload.size()) {
        qWarning("Sqlite3File::rowData, read header length failed.");
        return row;
    }
    QList<qint64> types;
    for (const char* q = p + n; q < p + headerLen;) {
        qint64 t = 0;
        const int len = sqlitefile_varint(&t, q, p + headerLen);
        if (len == 0) {
            qWarning("Sqlite3File::rowData, read column type failed.");
            return row;
        }
        types.append(t);
        q += len;
    }
    row.values = decodeValues(types, p + headerLen, pend);
    return row;
}

QList<quint32> Sqlite3File::children(const _SqliteBtreePage& page) const
{
    QList<quint32> out;
    if (page.isLeaf() || !page.isBtreePage())
        return out;
    for (const char* cell : page.cells) {
        const quint32 child = quint32(sqlitefile_int32(cell, end));
        if (child >= 1 && child <= pages())
            out.append(child);
    }
    if (page.rightChild >= 1 && page.rightChild <= pages())
        out.append(page.rightChild);
    return out;
}

void Sqlite3File::walkTree(const _SqliteBtreePage& page, bool leavesOnly, QList<_SqliteBtreePage>& out,
    QSet<qint64>& seen, int depth) const
{
    // A page reached twice (a cycle or a shared child) is walked once.
    if (depth > kMaxTreeDepth || seen.contains(page.pageNo))
        return;
    seen.insert(page.pageNo);
    if (!leavesOnly || page.isLeaf())
        out.append(page);
    if (page.isLeaf())
        return;
    for (quint32 child : children(page))
        walkTree(btreePage(child), leavesOnly, out, seen, depth + 1);
}

QList<_SqliteBtreePage> Sqlite3File::leafs(const _SqliteBtreePage& page) const
{
    QList<_SqliteBtreePage> out;
    QSet<qint64> seen;
    walkTree(page, true, out, seen, 0);
    return out;
}

QList<_SqliteBtreePage> Sqlite3File::allBTreePages(const _SqliteBtreePage& page) const
{
    QList<_SqliteBtreePage> out;
    QSet<qint64> seen;
    walkTree(page, false, out, seen, 0);
    return out;
}

QList<qint64> Sqlite3File::allBTreePageNumbers(qint64 root) const
{
    QList<qint64> out;
    QSet<qint64> seen;
    walkTreeNumbers(root, out, seen, 0);
    return out;
}

void Sqlite3File::walkTreeNumbers(qint64 n, QList<qint64>& out, QSet<qint64>& seen, int depth) const
{
    // As walkTree, reading the cells of interior pages only: a leaf is known by its type byte.
    const qint64 no = (n < 1 || n > INT_MAX) ? 0 : n;
    if (depth > kMaxTreeDepth || seen.contains(no))
        return;
    seen.insert(no);
    out.append(no);
    const char* page = pageStart(no);
    const char* header = (no == 1 && page != end) ? page + 100 : page;
    const quint8 type = fits(header, 1, end) ? quint8(header[0]) : 0;
    if (type != 2 && type != 5)
        return;
    for (quint32 child : children(btreePage(no)))
        walkTreeNumbers(child, out, seen, depth + 1);
}
