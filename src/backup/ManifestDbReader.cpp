#include "backup/ManifestDbReader.h"

#include "app/RegularFile.h"
#include "app/SliceArena.h"
#include "app/TaskCancel.h"
#include "app/sqlite/BlockReadVfs.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Stmt.h"
#include "backup/BackupManifest.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestConnection.h"
#include "backup/RecordPath.h"
#include "backup/WellKnownFiles.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// What a reading thread works out for each record, so that the thread building the tree only
// links nodes.
struct RowInfo {
    int domain = 0; // index into RowChunk::domains
    int parentLength = -1; // of the path it is placed under: where its parent folder's path ends
    bool mayBeKnown = false; // maybe a well-known file, a photo or a video
    bool unclean = false; // the path has empty or "." parts: placed under its key in cleanKeys
};

// The records of one rowid range of Manifest.db, read and decoded by a reading thread into nodes
// that the tree then takes over.
struct RowChunk {
    // Blocks of 512 nodes (70 KB): small enough that a node is built shortly before it is filled,
    // while its memory is still in cache; below the C library's least size for mapping a block on its
    // own (128 KB), which blocks of 1,024 passed unless a larger block had been freed before: mapped
    // blocks take fresh pages, faulted in one by one, and an unmap each as the tree goes.
    static constexpr int kBlock = 512;
    std::vector<QString> domains; // distinct domains of the chunk
    std::vector<std::unique_ptr<BackupManifest::_FileNode[]>> blocks; // nodes, kBlock per block
    std::vector<RowInfo> rows;
    QHash<size_t, QByteArray> cleanKeys; // row -> the path to place it under, for unclean paths
    QString error;
    // A row outside the chunk's rowid range or out of rowid order: pages of the table are not
    // where its tree says they are, and ranges cannot be trusted to hold every row.
    bool disordered = false;

    BackupManifest::_FileNode& node(size_t i) { return blocks[i / kBlock][i % kBlock]; }
    BackupManifest::_FileNode& append()
    {
        if (rows.size() % kBlock == 0)
            // Not make_unique, which zeroes the whole block before the nodes' own initializers
            // set every member again.
            blocks.push_back(std::make_unique_for_overwrite<BackupManifest::_FileNode[]>(kBlock));
        rows.emplace_back();
        return node(rows.size() - 1);
    }
};

QString damagedText(const QString& path, const QString& why)
{
    return QStringLiteral("%1 is damaged or not a backup manifest: %2").arg(path, why);
}

// One reading thread's connection to Manifest.db: its own, or the manifest's connection, which the
// first thread reads through. (Memory-mapped reads were measured: no faster here, as every
// connection maps and faults in the file on its own, and they count the whole file in the
// process's resident memory.)
class RowReader
{
public:
    // Reads rowid ranges in rowid order, or with wholeTable the table in the order of its pages,
    // through a connection of its own.
    RowReader(const QString& path, bool wholeTable)
        : m_path(path)
        , m_own(std::make_unique<Sqlite3DB>())
    {
        m_own->setForeign(true);
        try {
            m_own->openThrow(Sqlite3DB::immutableUri(path),
                SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, BlockReadVfs::name());
        } catch (const std::exception& e) {
            m_error = damagedText(path, QString::fromUtf8(e.what()));
            return;
        }
        m_db = m_own.get();
        prepare(wholeTable);
    }
    // The same through db, an open connection to path that the reader only borrows: its settings
    // are put back as they were when the reader ends.
    RowReader(Sqlite3DB& db, const QString& path, bool wholeTable)
        : m_path(path)
        , m_db(&db)
        , m_cacheSize(pragmaValue("pragma cache_size"))
        , m_mmapSize(pragmaValue("pragma mmap_size"))
    {
        prepare(wholeTable);
    }
    ~RowReader()
    {
        sqlite3_finalize(m_stmt);
        if (m_own || !m_db)
            return;
        if (m_mmapSize)
            sqlite3_exec(m_db->handle, qPrintable(QStringLiteral("pragma mmap_size = %1").arg(*m_mmapSize)),
                nullptr, nullptr, nullptr);
        if (m_cacheSize)
            sqlite3_exec(m_db->handle, qPrintable(QStringLiteral("pragma cache_size = %1").arg(*m_cacheSize)),
                nullptr, nullptr, nullptr);
    }
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    RowChunk read(qint64 from, qint64 to);
    RowChunk readAll();

private:
    // Why the last statement of sql failed: a column its file works out instead of storing is
    // refused by name; any other failure is damage.
    QString errorText(const QString& sql) const
    {
        // The message first: the refusal's own look at the schema replaces it.
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db->handle));
        const QString refused = Sqlite3Stmt::refusalText(m_db->handle, sql);
        return refused.isEmpty() ? damagedText(m_path, message) : refused;
    }
    bool start(RowChunk& chunk);
    void finish(RowChunk& chunk, int rc) const;
    int domainIndex(RowChunk& chunk, const char* text, int size);
    QByteArrayView textColumn(int column) const;
    QByteArrayView blobColumn(int column) const;
    void fillFromArchive(MBDBParser::_MBDBItem& it, const char* blob, int blobLen, int flags);
    void readRow(RowChunk& chunk);

    void prepare(bool wholeTable);
    std::optional<qint64> pragmaValue(const char* sql) const;

    QString m_path;
    std::unique_ptr<Sqlite3DB> m_own; // the connection when the reader opened it
    Sqlite3DB* m_db = nullptr; // the connection read through: null when none opened
    std::optional<qint64> m_cacheSize; // a borrowed connection's settings, to put back
    std::optional<qint64> m_mmapSize;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_utf8 = false; // the database keeps its text in UTF-8
    QString m_error;
    QHash<QByteArray, int> m_domainIndex;
    QByteArray m_lastDomain;
    int m_lastIndex = -1;
    MBFileArchive::Fields m_fields;
    MBFileArchive::TreeDecoder m_decoder;
    SliceArena m_paths;
};

void RowReader::prepare(bool wholeTable)
{
    // Pages are read once, in order: a small cache keeps SQLite's page allocations, which take a
    // process-wide lock that the reading threads would contend for, to a few.
    sqlite3_exec(m_db->handle, "pragma cache_size = 64", nullptr, nullptr, nullptr);
    // Pages in place from the block reading layer (see BlockReadVfs). Only there: SQLite's own
    // layer would map the file, and an I/O error would then end the program.
    if (BlockReadVfs::name())
        sqlite3_exec(m_db->handle, "pragma mmap_size = 1073741824", nullptr, nullptr, nullptr);
    m_utf8 = m_db->keepsUtf8Text();
    const char* sql = wholeTable
        ? "select domain, relativePath, flags, file, rowid, fileID from Files not indexed"
        : "select domain, relativePath, flags, file, rowid from Files "
          "where rowid between ? and ? order by rowid";
    if (sqlite3_prepare_v2(m_db->handle, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
        m_error = errorText(QString::fromUtf8(sql));
}

// The value a pragma that answers one number gives; none when it gives none.
std::optional<qint64> RowReader::pragmaValue(const char* sql) const
{
    sqlite3_stmt* stmt = nullptr;
    std::optional<qint64> value;
    if (sqlite3_prepare_v2(m_db->handle, sql, -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

// The UTF-8 bytes of a text column of the current row (null for NULL). Where the database keeps
// its text in UTF-8 they are read in place: sqlite3_column_text would first copy every value to
// end it with a zero.
QByteArrayView RowReader::textColumn(int column) const
{
    if (!m_utf8) {
        const void* text = sqlite3_column_text(m_stmt, column);
        return QByteArrayView(static_cast<const char*>(text), sqlite3_column_bytes(m_stmt, column));
    }
    return blobColumn(column);
}

// The bytes of a column as they are stored. Bytes and length come from the column's value: one
// column look-up, not two; the value needs no conversion, so it cannot fail for want of memory.
QByteArrayView RowReader::blobColumn(int column) const
{
    sqlite3_value* value = sqlite3_column_value(m_stmt, column);
    return QByteArrayView(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value));
}

int RowReader::domainIndex(RowChunk& chunk, const char* text, int size)
{
    const QByteArray domain = QByteArray::fromRawData(text ? text : "", size);
    if (m_lastIndex >= 0 && m_lastDomain == domain)
        return m_lastIndex;
    auto it = m_domainIndex.constFind(domain);
    if (it == m_domainIndex.constEnd()) {
        chunk.domains.push_back(QString::fromUtf8(domain));
        it = m_domainIndex.insert(
            QByteArray(domain.constData(), domain.size()), int(chunk.domains.size() - 1));
    }
    // The table's own key: no copy of the bytes when records of several domains alternate.
    m_lastDomain = it.key();
    m_lastIndex = it.value();
    return m_lastIndex;
}

// Size, time, mode and class of a record from its archive (none when blob is null); the flags
// column decides the kind when the archive lacks a mode. An unreadable archive, as a damaged page
// leaves one, gives none of them: the record is still one the table holds, marked as unread so
// that its stored file is never taken for the file.
void RowReader::fillFromArchive(MBDBParser::_MBDBItem& it, const char* blob, int blobLen, int flags)
{
    MBFileArchive::Fields& f = m_fields;
    const bool decoded = blob && m_decoder.decode(blob, blobLen, f, flags == 4);
    it.archiveUnread = !decoded;
    if (decoded) {
        it.size = f.size;
        it.mtime = quint32(f.lastModified);
        it.protectionClass = quint8(f.protectionClass);
        it.mode = quint16(f.mode);
        if (!f.target.isEmpty())
            it.mutableExtra().linkTarget = f.target;
    }
    if (!decoded || !f.hasMode || (it.mode & MBDBParser::kModeTypeMask) == 0)
        it.mode = quint16((it.mode & 07777)
            | (flags == 2        ? MBDBParser::kModeFolder
                    : flags == 4 ? MBDBParser::kModeLink
                                 : MBDBParser::kModeFile));
}

// Decodes the current row into a new node of chunk.
void RowReader::readRow(RowChunk& chunk)
{
    const QByteArrayView domain = textColumn(0);
    const int index = domainIndex(chunk, domain.data(), int(domain.size()));
    BackupManifest::_FileNode& node = chunk.append();
    RowInfo& info = chunk.rows.back();
    MBDBParser::_MBDBItem& it = node.item;
    info.domain = index;
    it.domain = chunk.domains[size_t(index)];
    const QByteArrayView path = textColumn(1);
    it.pathUtf8 = m_paths.bytes(path.data(), path.size());
    const int flags = sqlite3_column_int(m_stmt, 2);
    it.rowid = sqlite3_column_int64(m_stmt, 4);
    it.hasRowid = true;
    const QByteArrayView archive = blobColumn(3);
    const char* blob = archive.data();
    const int blobLen = int(archive.size());
    fillFromArchive(it, blobLen > 0 ? blob : nullptr, blobLen, flags);
    // Paths are used as given when clean; otherwise empty and "." parts are dropped for placing.
    const QByteArray& p = it.pathUtf8;
    if (RecordPath::isClean(p))
        info.parentLength = RecordPath::parentLength(p);
    else {
        info.unclean = true;
        const QByteArray key = RecordPath::parts(p).join('/');
        info.parentLength = RecordPath::parentLength(key);
        chunk.cleanKeys.insert(chunk.rows.size() - 1, key);
    }
    info.mayBeKnown = !it.isFolder() && WellKnownFiles::mayBe(p);
}

// Readies the statement for a new chunk; false (with chunk.error set) when the reader could not open.
bool RowReader::start(RowChunk& chunk)
{
    if (!m_error.isEmpty()) {
        chunk.error = m_error;
        return false;
    }
    m_domainIndex.clear();
    m_lastIndex = -1;
    sqlite3_reset(m_stmt);
    return true;
}

void RowReader::finish(RowChunk& chunk, int rc) const
{
    if ((rc & 0xff) == SQLITE_INTERRUPT && TaskCancel::requested())
        chunk.error = QString::fromUtf8(TaskCancel::Cancelled().what());
    else if (rc != SQLITE_DONE)
        chunk.error = errorText(QString());
}

RowChunk RowReader::read(qint64 from, qint64 to)
{
    RowChunk chunk;
    if (!start(chunk))
        return chunk;
    chunk.rows.reserve(size_t(std::min<quint64>(quint64(to) - quint64(from) + 1, 8192)));
    sqlite3_bind_int64(m_stmt, 1, from);
    sqlite3_bind_int64(m_stmt, 2, to);
    int rc;
    std::optional<qint64> last;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        const qint64 rowid = sqlite3_column_int64(m_stmt, 4);
        if (rowid < from || rowid > to || (last && rowid <= *last)) {
            chunk.disordered = true;
            return chunk;
        }
        last = rowid;
        readRow(chunk);
    }
    finish(chunk, rc);
    return chunk;
}

// Every row the table's pages hold, in their order, each record once: a page that a damaged file
// holds twice yields its rows twice. Records are told apart by fileID, those without one by rowid.
RowChunk RowReader::readAll()
{
    RowChunk chunk;
    if (!start(chunk))
        return chunk;
    QSet<QByteArray> fileIds;
    QSet<qint64> rowids;
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        const qsizetype seen = fileIds.size() + rowids.size();
        if (sqlite3_column_type(m_stmt, 5) == SQLITE_NULL)
            rowids.insert(sqlite3_column_int64(m_stmt, 4));
        else
            fileIds.insert(blobColumn(5).toByteArray());
        if (fileIds.size() + rowids.size() == seen)
            continue; // a record already read
        readRow(chunk);
    }
    finish(chunk, rc);
    return chunk;
}

// A fixed set of reading threads that read the chunks of a rowid range in any order and hand them
// out in rowid order. Without a range, one thread reads the whole table as one chunk.
class ChunkPipeline
{
public:
    // The first thread to start reads through connection, the others through their own.
    ChunkPipeline(const QString& path, ManifestConnection& connection,
        std::optional<std::pair<qint64, qint64>> range, int threads)
        : m_connection(connection)
        , m_wholeTable(!range)
        , m_minRow(range ? range->first : 0)
        , m_maxRow(range ? range->second : -1)
    {
        // Sparse rowids make chunks hold fewer rows, never more chunks than this. Unsigned, as
        // rowids may span the whole 64-bit range.
        constexpr quint64 kRows = 8192;
        constexpr quint64 kMaxChunks = 256;
        if (m_wholeTable)
            m_slots.resize(1);
        else if (m_maxRow >= m_minRow) {
            const quint64 lastOffset = quint64(m_maxRow) - quint64(m_minRow); // the span less one
            m_chunkRows = std::max(kRows, lastOffset / kMaxChunks + 1);
            m_slots.resize(size_t(lastOffset / m_chunkRows + 1));
        }
        threads = std::max(1, std::min(threads, int(m_slots.size())));
        for (int i = 0; i < threads && !m_slots.empty(); ++i) {
            try {
                // The readers stop on the cancel of the task that reads the manifest.
                m_threads.emplace_back([this, path, task = TaskCancel::ofThisThread()] {
                    const TaskCancel::Scope scope(task);
                    work(path);
                });
            } catch (const std::system_error&) {
                break; // the system gives no more threads: those started do the work
            }
        }
        if (m_threads.empty())
            work(path);
    }
    ~ChunkPipeline()
    {
        m_stop = true;
        for (std::thread& t : m_threads)
            t.join();
    }
    size_t size() const { return m_slots.size(); }
    // Waits for chunk i and takes it.
    RowChunk take(size_t i)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return m_slots[i].has_value(); });
        RowChunk chunk = std::move(*m_slots[i]);
        m_slots[i].reset();
        return chunk;
    }

private:
    void work(const QString& path)
    {
        if (!m_shareTaken.exchange(true)) {
            try {
                // No one else uses the manifest's connection while its records are read.
                m_connection.useThrow(path, [&](Sqlite3DB& db) {
                    RowReader reader(db, path, m_wholeTable);
                    readChunks(path, [&]() -> RowReader& { return reader; });
                });
                return;
            } catch (const std::exception&) {
                // It did not open again (the file changed): read through an own connection,
                // which tells why.
            }
        }
        std::unique_ptr<RowReader> reader;
        readChunks(path, [&]() -> RowReader& {
            if (!reader)
                reader = std::make_unique<RowReader>(path, m_wholeTable);
            return *reader;
        });
    }
    // Reads chunks until none is left, each chunk read by the reader that readerOf gives.
    void readChunks(const QString& path, const std::function<RowReader&()>& readerOf)
    {
        for (size_t i = m_next++; i < m_slots.size() && !m_stop; i = m_next++) {
            const quint64 offset = quint64(i) * m_chunkRows;
            const qint64 from = qint64(quint64(m_minRow) + offset);
            const qint64 to = quint64(m_maxRow) - quint64(from) < m_chunkRows
                ? m_maxRow
                : qint64(quint64(from) + m_chunkRows - 1);
            RowChunk chunk;
            try {
                RowReader& reader = readerOf();
                chunk = m_wholeTable ? reader.readAll() : reader.read(from, to);
            } catch (const std::exception& e) {
                chunk.error = damagedText(path, QString::fromUtf8(e.what()));
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_slots[i] = std::move(chunk);
            m_ready.notify_all();
        }
    }

    ManifestConnection& m_connection;
    std::atomic<bool> m_shareTaken { false };
    bool m_wholeTable;
    qint64 m_minRow;
    qint64 m_maxRow;
    quint64 m_chunkRows = 1;
    std::vector<std::optional<RowChunk>> m_slots;
    std::atomic<size_t> m_next { 0 };
    std::atomic<bool> m_stop { false };
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::thread> m_threads;
};

// What two b-tree lookups and a count tell of the Files table, to check the rows read against.
// Each query is cheap: min and max apart (together they would scan the table), and count(*) from
// the smallest index.
struct TableShape {
    bool ranged = false; // all three answered: the rows may be read by rowid range
    qint64 minRow = 0;
    qint64 maxRow = -1; // -1 when the table is empty
    qint64 rows = -1; // -1 when the rows cannot be counted
};

// The shape as db answers it: a query that fails leaves its part unknown.
TableShape rangeOf(Sqlite3DB& db)
{
    TableShape shape;
    try {
        Sqlite3Cursor count = db.queryThrow("select count(*) from Files");
        if (count.moveNext())
            shape.rows = count.getInt64(0);
        Sqlite3Cursor lo = db.queryThrow("select min(rowid) from Files");
        Sqlite3Cursor hi = db.queryThrow("select max(rowid) from Files");
        if (shape.rows < 0 || !lo.moveNext() || !hi.moveNext())
            return shape;
        if (!lo.isNull(0)) {
            shape.minRow = lo.getInt64(0);
            shape.maxRow = hi.getInt64(0);
        }
        shape.ranged = true;
    } catch (const std::exception&) {
        // A cancel is told by the reading that follows.
    }
    return shape;
}

// Throws when the file opens as no database or has no Files table; a query that fails leaves its
// part unknown, as only the reading of the whole table can tell a damaged file that still reads.
TableShape tableShapeThrow(ManifestConnection& connection, const QString& path)
{
    TableShape shape;
    try {
        connection.useThrow(path, [&](Sqlite3DB& db) {
            if (!db.tableExists(QStringLiteral("Files")))
                fail(QStringLiteral("%1 is damaged or not a backup manifest: it has no Files table.")
                         .arg(path));
            shape = rangeOf(db);
        });
    } catch (const std::exception& e) {
        // SQLite's text names the read-only URI: name the file instead.
        const QString text
            = QString::fromUtf8(e.what()).remove(QStringLiteral(" (%1)").arg(Sqlite3DB::immutableUri(path)));
        fail(text.contains(path) ? text : damagedText(path, text));
    }
    return shape;
}

} // namespace

ManifestDbReader::ManifestDbReader(BackupManifest& manifest)
    : m_manifest(manifest)
{
}

void ManifestDbReader::readThrow(const QString& path)
{
    try {
        readRowsThrow(path);
    } catch (const std::runtime_error& e) {
        fail(errorText(m_manifest, path, QString::fromUtf8(e.what())));
    } catch (const std::exception& e) {
        // Any other failure (memory, a length) still names the file: never an empty backup.
        fail(errorText(m_manifest, path, damagedText(path, QString::fromUtf8(e.what()))));
    }
}

QString ManifestDbReader::errorText(const BackupManifest& manifest, const QString& path, const QString& text)
{
    // SQLite tells a read that failed as a malformed file (or a short one as zeros).
    const QString why = RegularFile::readFailure(path);
    if (!why.isEmpty())
        return QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(path), why);
    // Errors name the file as the user knows it: the backup's own Manifest.db, not the decrypted
    // copy of an encrypted backup.
    return QString(text).replace(
        path, QDir::toNativeSeparators(manifest.dir.absoluteFilePath(QStringLiteral("Manifest.db"))));
}

void ManifestDbReader::readRowsThrow(const QString& path)
{
    const TableShape shape = tableShapeThrow(*m_manifest.m_connection, path);
    if (shape.ranged && linkRowsThrow(path, shape.minRow, shape.maxRow, shape.rows))
        return;
    // Rows missing from their ranges or out of rowid order: the table's pages are damaged or out
    // of place. Its rows are then read as SQLite's own scan finds them, each record once.
    m_manifest.restartTree();
    linkRowsThrow(path, 0, -1, -1);
    // A scan may end early without an error (a leaf page in the root's place): never a part of the
    // records taken for all of them.
    if (m_manifest.recordCount() < shape.rows)
        fail(damagedText(path,
            QStringLiteral("only %1 of its %2 file records can be read.")
                .arg(m_manifest.recordCount())
                .arg(shape.rows)));
}

bool ManifestDbReader::linkRowsThrow(const QString& path, qint64 minRow, qint64 maxRow, qint64 rows)
{
    const bool wholeTable = rows < 0;
    // Reading threads read and decode rowid ranges into nodes; this thread links them in rowid
    // order, so that the tree is the same whatever the number of threads. Linking is light, so
    // there is one reading thread per core the process may run on (idealThreadCount() counts the
    // cores of its affinity mask, so a process pinned to two cores reads with two threads).
    ChunkPipeline pipeline(path, *m_manifest.m_connection,
        wholeTable ? std::nullopt : std::optional(std::pair(minRow, maxRow)),
        std::clamp(QThread::idealThreadCount(), 1, 8));
    for (size_t i = 0; i < pipeline.size(); ++i) {
        RowChunk chunk = pipeline.take(i);
        if (!wholeTable && (!chunk.error.isEmpty() || chunk.disordered))
            return false;
        if (!chunk.error.isEmpty())
            fail(chunk.error);
        std::vector<BackupManifest::DomainEntry*> entries;
        entries.reserve(chunk.domains.size());
        for (const QString& d : chunk.domains)
            entries.push_back(m_manifest.domainEntry(d));
        for (size_t r = 0; r < chunk.rows.size(); ++r) {
            const RowInfo& info = chunk.rows[r];
            BackupManifest::_FileNode* made = &chunk.node(r);
            m_manifest.adoptRecord(made, entries[size_t(info.domain)],
                info.unclean ? chunk.cleanKeys[r] : made->item.pathUtf8, info.parentLength, info.mayBeKnown);
        }
        m_manifest.takeNodes(chunk.blocks);
    }
    return wholeTable || m_manifest.recordCount() == rows;
}
