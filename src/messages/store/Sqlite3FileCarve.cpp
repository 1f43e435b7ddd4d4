// Carving of deleted records out of the free space of a page: a record header is tried at every
// byte and kept when its serial types fit the table's columns.
#include "messages/store/Sqlite3File.h"

namespace
{

// What a column accepts, worked out once per carve instead of once per byte.
enum Accepts : quint8 { Null = 1, Integer = 2, Real = 4, Blob = 8, Text = 16 };

QList<quint8> acceptsOf(const QList<_SqliteCol>& cols)
{
    QList<quint8> out;
    for (const _SqliteCol& c : cols) {
        quint8 a = 0;
        if (!c.notNull && !c.hasDefault && !c.primaryKey)
            a |= Null;
        if (c.isInteger() || c.isNumeric())
            a |= Integer;
        if (c.isReal() || c.isNumeric())
            a |= Real;
        if (c.isBlob())
            a |= Blob;
        if (c.isText())
            a |= Text;
        out.append(a);
    }
    return out;
}

bool typeFits(qint64 t, quint8 accepts)
{
    if (t == 0)
        return accepts & Null;
    if ((t >= 1 && t <= 6) || t == 8 || t == 9)
        return accepts & Integer;
    if (t == 7)
        return accepts & Real;
    if (t >= 12)
        return accepts & ((t % 2 == 0) ? Blob : Text);
    return true; // 10, 11 and negative values
}

qint64 contentSize(qint64 t)
{
    static constexpr int sizes[] = { 0, 1, 2, 3, 4, 6, 8, 8 };
    if (t >= 1 && t <= 7)
        return sizes[t];
    if (t >= 12)
        return (t - (t % 2 ? 13 : 12)) / 2;
    return 0;
}

// The serial types of columns 1 to n-1 starting at c; false when one does not fit its column, with
// *headerEnd at that one.
bool matchHeader(const QList<quint8>& accepts, const char* c, const char* end, QList<qint64>& types,
    const char** headerEnd)
{
    // Written through a pointer into room made once: most candidates fail after a few columns.
    types.resize(qMax<qsizetype>(0, accepts.size() - 1));
    qint64* out = types.data();
    const quint8* fits = accepts.constData();
    const char* p = c;
    for (int i = 1; i < accepts.size(); ++i) {
        qint64 t = 0;
        int len = 1;
        // Most candidates end at their first byte: read one-byte varints inline.
        if (p < end && !(quint8(*p) & 0x80))
            t = quint8(*p);
        else if ((len = sqlitefile_varint(&t, p, end)) == 0)
            t = 0;
        if (!typeFits(t, fits[i])) {
            types.resize(i - 1);
            *headerEnd = p;
            return false;
        }
        out[i - 1] = t;
        p += len;
    }
    *headerEnd = p;
    return true;
}

// False when one of the first three serial types at c is a one-byte type its column refuses; the
// same answer matchHeader would give for those columns, without building the type list. Three
// lookups and no branch on the bytes, which are as good as random.
inline bool mayStartHeader(const _SqliteCarveShape& shape, const char* c, const char* end)
{
    if (end - c < 3) {
        for (int k = 0; k < 3 && c + k < end; ++k) {
            const quint8 b = quint8(c[k]);
            if (!shape.firstBytesFit[k][b])
                return false;
            if (b & 0x80)
                return true;
        }
        return true;
    }
    const quint8 b0 = quint8(c[0]);
    const quint8 b1 = quint8(c[1]);
    const quint8 b2 = quint8(c[2]);
    return shape.firstBytesFit[0][b0]
        & ((b0 >> 7) | (shape.firstBytesFit[1][b1] & ((b1 >> 7) | shape.firstBytesFit[2][b2])));
}

// False when the shape's key column holds a value its test refuses; true when it fits, or when
// its bytes are not all in [body, bodyEnd) (the whole decode then decides).
bool keyMayFit(const _SqliteCarveShape& shape, const QList<qint64>& types, qint64 firstBytes,
    const char* body, const char* bodyEnd)
{
    const int k = shape.keyColumn;
    if (k < 1 || k > types.size() || !shape.keyTest)
        return true;
    qint64 at = firstBytes;
    for (int j = 0; j < k - 1; ++j)
        at += contentSize(types[j]);
    const qint64 t = types[k - 1];
    if (at + contentSize(t) > bodyEnd - body)
        return true;
    QList<QVariant> value;
    Sqlite3File::appendValues(value, { t }, body + at, bodyEnd);
    return shape.keyTest(value.first());
}

// Where the serial types of the first count columns from c end.
const char* typesEnd(const char* c, int count, const char* end)
{
    const char* p = c;
    qint64 t = 0;
    for (int i = 0; i < count; ++i)
        p += sqlitefile_varint(&t, p, end);
    return p;
}

// The width of the record whose column-1 serial type is at c as its header-size varint declares
// it, counted over the serial types that fit (they end at fitEnd; at most `most` columns, at least
// `least`); 0 when the bytes before c are not a header size and a rowid alias's NULL, or the size
// ends elsewhere than between two of them.
int declaredWidth(const char* rangeBegin, const char* c, const char* fitEnd, int least, int most)
{
    if (c - 2 < rangeBegin || c[-1] != 0)
        return 0;
    for (int hv = 1; hv <= 2 && c - 1 - hv >= rangeBegin; ++hv) {
        qint64 size = 0;
        if (sqlitefile_varint(&size, c - 1 - hv, c - 1) != hv)
            continue;
        // Most candidates end here: a size shorter than the narrowest width, or past the types that fit.
        const qint64 typeBytes = size - hv - 1;
        if (typeBytes < least - 1 || typeBytes > fitEnd - c || (quint8(c[typeBytes - 1]) & 0x80))
            continue;
        const char* p = c;
        for (int w = 1; w <= most && p - c <= typeBytes; ++w) {
            if (p - c == typeBytes)
                return w;
            qint64 t = 0;
            const int len = sqlitefile_varint(&t, p, fitEnd);
            if (len == 0)
                break;
            p += len;
        }
    }
    return 0;
}

} // namespace

// The rowid of a carved record, read back from the bytes before its column-1 serial type: column
// 0's serial type (0, the rowid alias), the header-size varint, the rowid varint and the payload-size
// varint must all be there and agree with the record; anything else gives 0, so a serial type or
// a freeblock header is never taken for a rowid.
qint64 Sqlite3File::recoverRowid(
    const char* rangeBegin, const char* c, qint64 payloadSize, int headerBytesBeforeC) const
{
    const char* hdr = c - headerBytesBeforeC;
    if (hdr - 2 < rangeBegin)
        return 0;
    for (int k = 1; k <= 9; ++k) {
        const char* r = hdr - k;
        qint64 rowid = 0;
        if (r < rangeBegin || sqlitefile_varint(&rowid, r, hdr) != k || rowid < 1)
            continue;
        for (int j = 1; j <= 9; ++j) {
            const char* s = r - j;
            qint64 size = 0;
            if (s < rangeBegin)
                break;
            if (sqlitefile_varint(&size, s, r) == j && size == payloadSize)
                return rowid;
        }
    }
    return 0;
}

_SqliteCarveShape::_SqliteCarveShape(const QList<_SqliteCol>& columns)
    : cols(columns)
    , accepts(acceptsOf(columns))
{
    updateOneByteFits();
}

void _SqliteCarveShape::acceptNull(int i)
{
    if (i >= 0 && i < accepts.size())
        accepts[i] |= Null;
    updateOneByteFits();
}

void _SqliteCarveShape::allowNarrower(int width, NarrowerWidth how)
{
    if (width < 2 || width >= cols.size())
        return;
    if (narrower.isEmpty())
        narrower.resize(cols.size(), NotTried);
    narrower[width] = qMax<quint8>(narrower[width], how);
    narrowest = narrowest > 0 ? qMin(narrowest, width) : width;
}

void _SqliteCarveShape::updateOneByteFits()
{
    for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < 256; ++b)
            firstBytesFit[k][b] = b >= 0x80 || k + 1 >= accepts.size() || typeFits(b, accepts.at(k + 1));
    }
}

QList<_SqliteFileRowData> Sqlite3File::recoverRows(const QList<_SqliteCol>& cols, short firstColBytes,
    int usableSize, const char* begin, const char* rangeEnd, RowFilter filter) const
{
    return recoverRows(_SqliteCarveShape(cols), firstColBytes, usableSize, begin, rangeEnd, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRows(
    const QList<_SqliteCol>& cols, short firstColBytes, const _SqliteBtreePage& page, RowFilter filter) const
{
    return recoverFreeBlockRows(_SqliteCarveShape(cols), firstColBytes, page, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRowsRaw(
    const QList<_SqliteCol>& cols, short firstColBytes, qint64 pageNo, int offset, RowFilter filter) const
{
    return recoverFreeBlockRowsRaw(_SqliteCarveShape(cols), firstColBytes, pageNo, offset, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverRows(const _SqliteCarveShape& shape, short firstColBytes,
    int usableSize, const char* begin, const char* rangeEnd, RowFilter filter) const
{
    QList<_SqliteFileRowData> rows;
    if (!begin || begin < base)
        begin = base;
    if (!rangeEnd || rangeEnd > end)
        rangeEnd = end;
    if (shape.cols.size() < 2) {
        if (begin < rangeEnd)
            qWarning("tbCols size < 2.");
        return rows;
    }
    const qint64 u = usableSize;
    const qint64 m = ((u - 12) * 32 / 255) - 23;
    const CarveRange range { begin, rangeEnd, u, qMax<qint64>(0, firstColBytes) };
    QList<qint64> types;
    types.reserve(shape.cols.size());
    for (const char* c = begin; c < rangeEnd;) {
        if (!mayStartHeader(shape, c, rangeEnd)) {
            ++c;
            continue;
        }
        _SqliteFileRowData row;
        const char* next = nullptr;
        const char* h = nullptr;
        const bool whole = matchHeader(shape.accepts, c, rangeEnd, types, &h);
        // A header cut at the end of the local part fits up to the cut, which is m bytes or more
        // from the record's start (at most 3 bytes before c).
        if ((whole && carveRecord(range, shape, c, types, h, filter, row, &next))
            || (shape.narrowest > 0 && types.size() + 1 >= shape.narrowest
                && carveNarrower(range, shape, c, types, h, filter, row, &next))
            || (range.firstBytes == 0 && h - c + 3 >= m
                && carveSplitHeader(shape, u, c, begin, rangeEnd, filter, row, &next))) {
            rows.append(row);
            c = next > c ? next : c + 1;
        } else {
            ++c;
        }
    }
    return rows;
}

// The record whose column-1 serial type is at c and whose header ends at h, when its serial types
// fit the file and the filter takes it; *next is the first byte after its local part.
bool Sqlite3File::carveRecord(const CarveRange& range, const _SqliteCarveShape& shape, const char* c,
    const QList<qint64>& types, const char* h, const RowFilter& filter, _SqliteFileRowData& row,
    const char** next) const
{
    const qint64 u = range.usable;
    const qint64 x = u - 35;
    const qint64 m = ((u - 12) * 32 / 255) - 23;
    // A record larger than the file cannot be there: such serial types are noise.
    qint64 body = range.firstBytes;
    for (qint64 t : types) {
        body += qMin(contentSize(t), fileSize + 1);
        if (body > fileSize)
            return false;
    }
    // Header: its size varint, column 0's serial type, then the types read.
    const qint64 s = h - c;
    int hv = 1;
    while (sqlitefile_varint_lengh(hv + 1 + s) != hv)
        ++hv;
    const qint64 headerLen = hv + 1 + s;
    const qint64 payload = headerLen + body;
    qint64 localBody = body;
    quint32 firstOverflow = 0;
    if (payload > x) {
        const qint64 k = m + ((payload - m) % (u - 4));
        const qint64 local = k <= x ? k : m;
        localBody = qMax<qint64>(0, local - headerLen);
        const qint64 pg = quint32(sqlitefile_int32(h + localBody, range.end));
        if (pg < 1 || pg > pages())
            return false;
        firstOverflow = quint32(pg);
    }
    if (!keyMayFit(shape, types, range.firstBytes, h, h + qMin<qint64>(localBody, range.end - h)))
        return false;
    QByteArray bytes = sqlitefile_bytearr(int(qMin<qint64>(localBody, INT_MAX)), h, range.end);
    if (firstOverflow && bytes.size() == localBody)
        bytes.append(overflowBytes(firstOverflow, body - localBody));
    const char* bp = bytes.constData();
    const char* bend = bp + bytes.size();
    const qint64 firstBytes = range.firstBytes;
    row.values.append(firstBytes > 0 ? QVariant(sqlitefile_bytearr(int(firstBytes), bp, bend)) : QVariant());
    appendValues(row.values, types, bp + qMin<qint64>(firstBytes, bytes.size()), bend);
    // A record narrower than the shape reads its missing columns as their defaults.
    for (qsizetype i = row.values.size(); i < shape.cols.size(); ++i)
        row.values.append(shape.defaults.value(i));
    row.rowid = recoverRowid(range.begin, c, payload, 1 + hv);
    if (filter && !filter(row)) {
        row = _SqliteFileRowData();
        return false;
    }
    *next = h + localBody + (firstOverflow ? 4 : 0);
    return true;
}

// The record at c as one of the shape's narrower widths, given the serial types that fit there:
// first the width its header declares, then, widest first, those tried wherever they fit.
bool Sqlite3File::carveNarrower(const CarveRange& range, const _SqliteCarveShape& shape, const char* c,
    const QList<qint64>& fitting, const char* fitEnd, const RowFilter& filter, _SqliteFileRowData& row,
    const char** next) const
{
    const int most = qMin<int>(int(fitting.size()) + 1, int(shape.narrower.size()) - 1);
    if (most < shape.narrowest)
        return false;
    const int declared
        = range.firstBytes == 0 ? declaredWidth(range.begin, c, fitEnd, shape.narrowest, most) : 0;
    QList<qint64> types;
    const auto tryWidth = [&](int w) {
        types = fitting.mid(0, w - 1);
        return carveRecord(range, shape, c, types, typesEnd(c, w - 1, range.end), filter, row, next);
    };
    if (declared >= shape.narrowest && shape.narrower.at(declared) != _SqliteCarveShape::NotTried
        && tryWidth(declared))
        return true;
    for (int w = most; w >= shape.narrowest; --w) {
        if (w != declared && shape.narrower.at(w) == _SqliteCarveShape::Always && tryWidth(w))
            return true;
    }
    return false;
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRows(
    const _SqliteCarveShape& cols, short firstColBytes, const _SqliteBtreePage& page, RowFilter filter) const
{
    if (!page.isLeaf() || !page.isBtreePage())
        return recoverFreeBlockRowsRaw(cols, firstColBytes, page.pageNo, 8, filter);
    QList<_SqliteFileRowData> rows;
    const char* pageEnd = page.page + qMin<qint64>(pageSize, end - page.page);
    // A stored start of 0 means 65536: the whole of an empty 64 KiB page is unallocated.
    const qint64 contentStart = page.cellContentStart == 0 ? 65536 : page.cellContentStart;
    const char* gapEnd = page.page + qMin<qint64>(contentStart, pageEnd - page.page);
    rows += recoverRows(cols, firstColBytes, m_usableSize, page.page + 8, gapEnd, filter);
    for (const char* fb : page.freeblocks) {
        // Sizes are unsigned: a freeblock of 32 KiB or more is common on 64 KiB pages.
        const qint64 size = quint16(sqlitefile_int16(fb + 2, pageEnd));
        if (size < 4)
            continue;
        const char* fbEnd = fb + qMin<qint64>(size, pageEnd - fb);
        rows += recoverRows(cols, firstColBytes, m_usableSize, fb + 4, fbEnd, filter);
    }
    return rows;
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRowsRaw(
    const _SqliteCarveShape& cols, short firstColBytes, qint64 pageNo, int offset, RowFilter filter) const
{
    if (pageNo < 1 || offset < 0)
        return {};
    const qint64 start = (pageNo - 1) * qint64(pageSize) + offset;
    const char* from = start < fileSize ? base + start : end;
    const char* to = from + qMin<qint64>(pageSize, end - from);
    return recoverRows(cols, firstColBytes, m_usableSize, from, to, filter);
}

// A record whose header runs past the part of it its page holds (small pages and wide tables):
// the header is cut at the end of that part, and goes on in the first overflow page, after the
// 4-byte number of that page. Every boundary between serial types that fit is tried as the cut,
// with a header-size varint of one or two bytes; the cut must be where the record's payload size
// puts the end of its local part, so a cut is never guessed.
bool Sqlite3File::carveSplitHeader(const _SqliteCarveShape& shape, qint64 u, const char* c,
    const char* rangeBegin, const char* rangeEnd, const RowFilter& filter, _SqliteFileRowData& row,
    const char** next) const
{
    const qint64 x = u - 35;
    const qint64 m = ((u - 12) * 32 / 255) - 23;
    // A header of n columns holds at most 9 bytes a column: a local part longer than that holds it.
    if (m - 3 > 9 * qint64(shape.accepts.size()))
        return false;
    QList<const char*> at;
    QList<qint64> types;
    const char* p = c;
    for (int i = 1; i < shape.accepts.size() && p < rangeEnd; ++i) {
        qint64 t = 0;
        const int len = sqlitefile_varint(&t, p, rangeEnd);
        if (len == 0 || !typeFits(t, shape.accepts.at(i)))
            break;
        at.append(p);
        types.append(t);
        p += len;
    }
    at.append(p);
    for (int hv = 1; hv <= 2; ++hv) {
        for (int j = 0; j < at.size(); ++j) {
            const qint64 local = at[j] - (c - 1 - hv);
            if (local >= m && local <= x
                && carveAtCut(shape, u, c, hv, at[j], types.mid(0, j), rangeBegin, rangeEnd, filter, row)) {
                *next = at[j] + 4;
                return true;
            }
        }
    }
    return false;
}

bool Sqlite3File::carveAtCut(const _SqliteCarveShape& shape, qint64 u, const char* c, int hv, const char* cut,
    QList<qint64> types, const char* rangeBegin, const char* rangeEnd, const RowFilter& filter,
    _SqliteFileRowData& row) const
{
    const qint64 x = u - 35;
    const qint64 m = ((u - 12) * 32 / 255) - 23;
    const quint32 pg = quint32(sqlitefile_int32(cut, rangeEnd));
    if (pg < 2 || pg > pages())
        return false;
    const char* ov = pageStart(pg) + 4;
    const char* ovEnd = pageStart(pg) + qMin<qint64>(u, end - pageStart(pg));
    const char* q = ov;
    for (int i = int(types.size()) + 1; i < shape.accepts.size(); ++i) {
        qint64 t = 0;
        const int len = sqlitefile_varint(&t, q, ovEnd);
        if (len == 0 || !typeFits(t, shape.accepts.at(i)))
            return false;
        types.append(t);
        q += len;
    }
    const qint64 headerLen = hv + 1 + (cut - c) + (q - ov);
    if (sqlitefile_varint_lengh(headerLen) != hv)
        return false;
    qint64 payload = headerLen;
    for (qint64 t : types) {
        payload += qMin(contentSize(t), fileSize + 1);
        if (payload > fileSize)
            return false;
    }
    const qint64 k = m + ((payload - m) % (u - 4));
    if (payload <= x || (k <= x ? k : m) != cut - (c - 1 - hv))
        return false;
    const QByteArray rest = overflowBytes(pg, payload - (cut - (c - 1 - hv)));
    const char* body = rest.constData() + qMin<qint64>(q - ov, rest.size());
    row.values = { QVariant() };
    appendValues(row.values, types, body, rest.constData() + rest.size());
    row.rowid = recoverRowid(rangeBegin, c, payload, 1 + hv);
    return !filter || filter(row);
}
