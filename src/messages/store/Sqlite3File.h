#pragma once

#include "app/sqlite/_SqliteCol.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>
#include <array>
#include <functional>

// Byte readers over a mapped database file. Each reads nothing at or beyond `end`; a value that
// does not lie wholly before `end` reads as 0 (or fewer bytes for the copying readers).
int sqlitefile_varint(qint64* out, const char* p, const char* end);
int sqlitefile_varint_lengh(const qint64& v);
qint8 sqlitefile_byte(const char* p, const char* end);
qint16 sqlitefile_int16(const char* p, const char* end);
qint32 sqlitefile_int32(const char* p, const char* end);
qint64 sqlitefile_int64(const char* p, const char* end);
int sqlitefile_bytes(void* dst, int n, const char* p, const char* end);
QByteArray sqlitefile_bytearr(int n, const char* p, const char* end);

// One b-tree page as its header describes it; the pointers point into the reader's mapping.
struct _SqliteBtreePage {
    quint16 firstFreeblock = 0;
    quint16 cellContentStart = 0;
    quint8 type = 0;
    quint8 fragmentedBytes = 0;
    quint32 rightChild = 0;
    qint32 pageNo = 0;
    const char* page = nullptr;
    const char* header = nullptr;
    QList<const char*> cells;
    QList<const char*> freeblocks;

    bool isBtreePage() const { return type == 2 || type == 5 || type == 10 || type == 13; }
    bool isIndex() const { return (type & 2) != 0; }
    bool isLeaf() const { return (type & 8) != 0; }
};

// One page of the freelist's trunk chain.
struct _SqliteFreeTrunkPage {
    qint32 pageNo = 0;
    const char* page = nullptr;
    quint32 nextTrunk = 0;
    QList<qint32> leafPages;
};

// One cell of a b-tree page.
struct _SqlitePageCellRow {
    qint64 rowid = 0;
    qint64 payloadSize = 0;
    qint32 localSize = 0;
    quint32 leftChild = 0;
    quint32 overflowPage = 0;
    qint32 cellSize = 0;
    const char* payload = nullptr;
};

// A decoded record: its rowid and one value per column (invalid for NULL).
struct _SqliteFileRowData {
    qint64 rowid = 0;
    QList<QVariant> values;
};

// A table shape prepared for carving: the columns and what each accepts, worked out once.
struct _SqliteCarveShape {
    _SqliteCarveShape() = default;
    explicit _SqliteCarveShape(const QList<_SqliteCol>& columns);
    // Lets column i hold NULL whatever its flags say (columns that devices leave NULL).
    void acceptNull(int i);
    QList<_SqliteCol> cols;
    QList<quint8> accepts;
    // Whether a byte read as a serial type fits column 1, 2 or 3: most positions of a range fail
    // there, and a table lookup turns them down without decoding a header. A byte that begins a
    // longer varint (0x80 and over) counts as fitting and ends the test.
    std::array<std::array<quint8, 256>, 3> firstBytesFit {};
    // A column whose value alone turns a row down when keyTest refuses it (the row filter must then
    // refuse the row too): tested before the other values are decoded. -1: none.
    int keyColumn = -1;
    std::function<bool(const QVariant& value)> keyTest;
    // Records narrower than the shape: a row written before its table gained columns keeps only
    // its first ones. A narrower width is tried where the record's header size declares it, or
    // wherever its columns fit (see allowNarrower); the columns a record lacks read as defaults.
    enum NarrowerWidth : quint8 { NotTried = 0, WhereDeclared = 1, Always = 2 };
    void allowNarrower(int width, NarrowerWidth how);
    QList<quint8> narrower; // by width; empty: the full width only
    int narrowest = 0; // the smallest width tried, 0 for none
    // What each column reads as in a record without it (NULL where empty).
    QList<QVariant> defaults;

private:
    void updateOneByteFits();
};

// Reads a SQLite 3 database file from its bytes, without the SQLite library: pages, the freelist,
// b-tree cells with their overflow chains, records, and the records of deleted rows left in free
// space. The file is mapped read-only and never written. Every walk is bounded: a damaged file
// (cycles, huge counts, offsets past the end) gives fewer results, never a hang or a read outside
// the mapping.
class Sqlite3File
{
public:
    using RowFilter = std::function<bool(const _SqliteFileRowData&)>;

    explicit Sqlite3File(const QString& path);
    Sqlite3File(const Sqlite3File&) = delete;
    Sqlite3File& operator=(const Sqlite3File&) = delete;

    // Maps the file and reads the page size; throws std::runtime_error on failure.
    void open();

    const char* pBegin() const { return base; }
    const char* pEnd() const { return end; }
    quint32 firstFreeTrunkPage() const;
    quint32 totalFreeListPages() const;
    qint64 pages() const;
    // The usable part of each page: the page size less the reserved bytes at its end.
    qint32 usableSize() const { return m_usableSize; }

    _SqliteBtreePage btreePage(qint64 n) const;
    _SqliteFreeTrunkPage freeTrunkPage(qint64 n) const;
    QList<_SqliteBtreePage> leafs(const _SqliteBtreePage& page) const;
    QList<_SqliteBtreePage> allBTreePages(const _SqliteBtreePage& page) const;
    // The numbers of the pages allBTreePages(btreePage(root)) gives, in the same order, without
    // reading the cells of the leaves.
    QList<qint64> allBTreePageNumbers(qint64 root) const;
    _SqlitePageCellRow pageCellRow(const _SqliteBtreePage& page, const char* cell) const;
    QByteArray cellRowPayload(const _SqlitePageCellRow& cell) const;
    _SqliteFileRowData cellRowData(const _SqlitePageCellRow& cell) const;
    // The column counts the records of the table leaves among pages list in their headers (those
    // wholly in the part of the cell a page holds).
    QSet<int> recordWidths(const QList<qint64>& pages) const;

    // Records of deleted rows in free space (see Sqlite3FileCarve.cpp). The shape overloads save
    // working out the column types again for every range.
    QList<_SqliteFileRowData> recoverRows(const _SqliteCarveShape& shape, short firstColBytes, int usableSize,
        const char* begin, const char* end, RowFilter filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRows(const _SqliteCarveShape& shape, short firstColBytes,
        const _SqliteBtreePage& page, RowFilter filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRowsRaw(const _SqliteCarveShape& shape, short firstColBytes,
        qint64 pageNo, int offset, RowFilter filter) const;
    QList<_SqliteFileRowData> recoverRows(const QList<_SqliteCol>& cols, short firstColBytes, int usableSize,
        const char* begin, const char* end, RowFilter filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRows(const QList<_SqliteCol>& cols, short firstColBytes,
        const _SqliteBtreePage& page, RowFilter filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRowsRaw(const QList<_SqliteCol>& cols, short firstColBytes,
        qint64 pageNo, int offset, RowFilter filter) const;

    // Decodes record values of the given serial types from body bytes (shared with the carver).
    static QList<QVariant> decodeValues(const QList<qint64>& types, const char* p, const char* end);
    static void appendValues(
        QList<QVariant>& values, const QList<qint64>& types, const char* p, const char* end);
    // Bytes of the overflow chain starting at page `first`, at most `missing` bytes.
    QByteArray overflowBytes(quint32 first, qint64 missing) const;

private:
    const char* pageStart(qint64 n) const;
    void walkTree(const _SqliteBtreePage& page, bool leavesOnly, QList<_SqliteBtreePage>& out,
        QSet<qint64>& seen, int depth) const;
    void walkTreeNumbers(qint64 n, QList<qint64>& out, QSet<qint64>& seen, int depth) const;
    QList<quint32> children(const _SqliteBtreePage& page) const;
    struct CarveRange {
        const char* begin;
        const char* end;
        qint64 usable;
        qint64 firstBytes;
    };
    bool carveRecord(const CarveRange& range, const _SqliteCarveShape& shape, const char* c,
        const QList<qint64>& types, const char* h, const RowFilter& filter, _SqliteFileRowData& row,
        const char** next) const;
    bool carveNarrower(const CarveRange& range, const _SqliteCarveShape& shape, const char* c,
        const QList<qint64>& fitting, const char* fitEnd, const RowFilter& filter, _SqliteFileRowData& row,
        const char** next) const;
    bool carveSplitHeader(const _SqliteCarveShape& shape, qint64 usable, const char* c,
        const char* rangeBegin, const char* rangeEnd, const RowFilter& filter, _SqliteFileRowData& row,
        const char** next) const;
    bool carveAtCut(const _SqliteCarveShape& shape, qint64 usable, const char* c, int hv, const char* cut,
        QList<qint64> types, const char* rangeBegin, const char* rangeEnd, const RowFilter& filter,
        _SqliteFileRowData& row) const;
    qint64 recoverRowid(
        const char* rangeBegin, const char* c, qint64 payloadSize, int headerBytesBeforeC) const;

    QFile file;
    qint64 fileSize = 0;
    const char* base = nullptr;
    const char* end = nullptr;
    qint32 pageSize = 0;
    qint32 m_usableSize = 0;
};
