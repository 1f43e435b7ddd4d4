#include "calls_calendars/LocalCallHistoryDb.h"

#include <QFile>
#include <algorithm>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <utility>

namespace
{

const char* const kAddedColumns[][2] = {
    { "name", "ALTER TABLE call ADD COLUMN name TEXT;" },
    { "country_code", "ALTER TABLE call ADD COLUMN country_code TEXT;" },
    { "network_code", "ALTER TABLE call ADD COLUMN network_code TEXT;" },
    { "read", "ALTER TABLE call ADD COLUMN read INTEGER;" },
    { "assisted", "ALTER TABLE call ADD COLUMN assisted INTEGER;" },
    { "face_time_data", "ALTER TABLE call ADD COLUMN face_time_data BLOB;" },
    { "originalAddress", "ALTER TABLE call ADD COLUMN originalAddress TEXT;" },
    { "answered", "ALTER TABLE call ADD COLUMN answered INTEGER DEFAULT '1';" },
    { "call_type", "ALTER TABLE call ADD COLUMN call_type INTEGER DEFAULT 1;" },
    { "availability", "ALTER TABLE call ADD COLUMN availability INTEGER DEFAULT 0;" },
    { "device_id", "ALTER TABLE call ADD COLUMN device_id TEXT;" },
    { "cn", "ALTER TABLE call ADD COLUMN cn TEXT;" },
    { "unique_id", "ALTER TABLE call ADD COLUMN unique_id TEXT;" },
};

CallHistoryFlag storedFlag(int value)
{
    if (value == CallFlagIncoming || value == CallFlagOutgoing || value == CallFlagUnanswered)
        return CallHistoryFlag(value);
    return CallFlagNone;
}

} // namespace

void runSchemaResourceThrow(Sqlite3DB& db, const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    QByteArray script = file.readAll();
    const qsizetype nul = script.indexOf('\0');
    if (nul >= 0)
        script.truncate(nul);
    QString err;
    if (db.exec(QString::fromLatin1(script), err) != 0)
        throw std::runtime_error(err.toStdString());
}

LocalCallHistoryDb::LocalCallHistoryDb(QString path)
    : AbsLocalDb(std::move(path))
{
}

void LocalCallHistoryDb::create()
{
    db.openThrow(path, 6 | SQLITE_OPEN_NOMUTEX);
    runSchemaResourceThrow(db, QStringLiteral(":/res/local_callhistory_db.sql"));
}

void LocalCallHistoryDb::open()
{
    if (isOpened())
        return;
    if (!QFile::exists(path))
        create();
    else
        db.openThrow(path, 2 | SQLITE_OPEN_NOMUTEX); // one thread at a time uses a store
    m_columns = db.tbInfo(QStringLiteral("call"));
    for (const auto& col : kAddedColumns)
        if (!m_columns.contains(QLatin1String(col[0])))
            db.executeThrow(col[1]);
}

QList<_CallHistory> LocalCallHistoryDb::callHistories()
{
    openIfNeeded();
    QList<_CallHistory> list;
    Sqlite3Cursor c = db.queryThrow("select * from call order by date desc");
    while (c.moveNext()) {
        _CallHistory call;
        call.id = c.getInt64("_id");
        call.address = c.getText("address");
        call.date = QDateTime::fromMSecsSinceEpoch(c.getInt64("date") * 1000, Qt::UTC);
        call.duration = c.getInt("duration");
        call.flags = storedFlag(c.getInt("flags"));
        call.person = c.getText("person");
        call.name = c.getText("name");
        call.country_code = c.getText("country_code");
        call.network_code = c.getText("network_code");
        call.originalAddress = c.getText("originalAddress");
        call.device_id = c.getText("device_id");
        call.cn = c.getText("cn");
        call.unique_id = c.getText("unique_id");
        call.read = c.getInt("read");
        call.assisted = c.getInt("assisted");
        call.answered = c.getInt("answered");
        call.call_type = c.getInt("call_type");
        call.availability = c.getInt("availability");
        call.face_time_data = c.getBlob("face_time_data");
        list.append(call);
    }
    return list;
}

qint64 LocalCallHistoryDb::total()
{
    openIfNeeded();
    Sqlite3Cursor c = db.queryThrow("select count(*) from call");
    return c.moveNext() ? c.getInt64(0) : 0;
}

sqlite3_stmt* LocalCallHistoryDb::preparedThrow(CachedStmt& cached, const char* sql)
{
    if (cached.stmt && cached.on == db.handle)
        return cached.stmt;
    sqlite3_finalize(cached.stmt);
    cached = CachedStmt();
    if (sqlite3_prepare_v2(db.handle, sql, -1, &cached.stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.handle));
    cached.on = db.handle;
    return cached.stmt;
}

void LocalCallHistoryDb::finalizeStatements()
{
    for (CachedStmt* cached : { &m_find, &m_insert }) {
        sqlite3_finalize(cached->stmt);
        *cached = CachedStmt();
    }
}

LocalCallHistoryDb::~LocalCallHistoryDb()
{
    finalizeStatements();
}

namespace
{

// The store's page cache while saving many calls, in KiB: hashes are looked up and indexed in
// random order, and a cache that holds the index avoids spilling pages into the file and reading
// them back within the one transaction.
const qint64 kBulkCacheKiB = 65536;

// Steps once and resets the statement for its next use, also when the step fails.
int stepThrow(sqlite3* db, sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_reset(stmt);
        throw std::runtime_error(message);
    }
    return rc;
}

qint64 pragmaValueThrow(Sqlite3DB& db, const char* sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

// Raises the connection's page cache to at least kib KiB until the scope ends.
class CacheSizeScope
{
public:
    CacheSizeScope(Sqlite3DB& db, qint64 kib)
        : m_db(db)
        , m_old(pragmaValueThrow(db, "pragma cache_size"))
    {
        // A positive size counts pages, a negative one KiB.
        const qint64 oldKib = m_old < 0 ? -m_old : m_old * pragmaValueThrow(db, "pragma page_size") / 1024;
        m_changed = oldKib < kib;
        if (m_changed)
            m_db.executeThrow(QStringLiteral("pragma cache_size=%1").arg(-kib));
    }
    ~CacheSizeScope()
    {
        if (m_changed && m_db.handle)
            sqlite3_exec(m_db.handle, qPrintable(QStringLiteral("pragma cache_size=%1").arg(m_old)), nullptr,
                nullptr, nullptr);
    }
    CacheSizeScope(const CacheSizeScope&) = delete;
    CacheSizeScope& operator=(const CacheSizeScope&) = delete;

private:
    Sqlite3DB& m_db;
    qint64 m_old;
    bool m_changed = false;
};

// Drops the indexes of a table, so that rows go in without index upkeep, and builds them again
// from their own definitions: by rebuildThrow(), or on the way out of a failed save.
class IndexesDropped
{
public:
    IndexesDropped(Sqlite3DB& db, const char* table)
        : m_db(db)
    {
        Sqlite3Sql sql("select name, sql from sqlite_master where type='index' and tbl_name=? and sql "
                       "is not null");
        sql.addTextParam(QString::fromLatin1(table));
        QStringList names;
        Sqlite3Cursor c = db.queryThrow(sql);
        while (c.moveNext()) {
            names.append(c.getText(0));
            m_definitions.append(c.getText(1));
        }
        for (const QString& name : std::as_const(names))
            db.executeThrow(QStringLiteral("drop index %1").arg(Sqlite3Row::quoteName(name)));
    }
    ~IndexesDropped()
    {
        for (const QString& definition : std::as_const(m_definitions))
            sqlite3_exec(m_db.handle, definition.toUtf8().constData(), nullptr, nullptr, nullptr);
    }
    void rebuildThrow()
    {
        while (!m_definitions.isEmpty())
            m_db.executeThrow(m_definitions.takeFirst());
    }
    IndexesDropped(const IndexesDropped&) = delete;
    IndexesDropped& operator=(const IndexesDropped&) = delete;

private:
    Sqlite3DB& m_db;
    QStringList m_definitions;
};

// The 128 bits of a hex hash, for sorting without following pointers.
struct HashKey {
    quint64 high = 0;
    quint64 low = 0;
    qsizetype index = 0;
    bool sameHash(const HashKey& o) const { return high == o.high && low == o.low; }
    bool operator<(const HashKey& o) const
    {
        return high != o.high ? high < o.high : low != o.low ? low < o.low : index < o.index;
    }
};

quint64 hexBits(QByteArrayView hex)
{
    quint64 value = 0;
    for (const char ch : hex)
        value = value << 4 | quint64(ch <= '9' ? ch - '0' : (ch | 0x20) - 'a' + 10);
    return value;
}

// For each hash (32 hex digits), the index of its first occurrence in the list.
QList<qsizetype> firstOccurrences(const QList<QByteArray>& hashes)
{
    std::vector<HashKey> keys(size_t(hashes.size()));
    for (qsizetype i = 0; i < hashes.size(); ++i) {
        const QByteArrayView hex(hashes[i]);
        keys[size_t(i)] = { hexBits(hex.first(16)), hexBits(hex.sliced(16)), i };
    }
    // Equal hashes end up together, each run in list order (the first occurrence leads).
    std::sort(keys.begin(), keys.end());
    QList<qsizetype> first(hashes.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        const bool leads = k == 0 || !keys[k].sameHash(keys[k - 1]);
        first[keys[k].index] = leads ? keys[k].index : first[keys[k - 1].index];
    }
    return first;
}

} // namespace

qint64 LocalCallHistoryDb::insertCallHistory(const _CallHistory& call)
{
    openIfNeeded();
    const QByteArray hash = call.toHash();
    const std::optional<qint64> id = findThrow(hash);
    return id ? *id : insertRow(call, hash);
}

void LocalCallHistoryDb::insertCallHistories(
    const QList<_CallHistory>& calls, const std::function<void(qsizetype)>& before)
{
    openIfNeeded();
    CacheSizeScope cache(db, kBulkCacheKiB);
    QList<QByteArray> hashes;
    hashes.reserve(calls.size());
    for (const _CallHistory& call : calls)
        hashes.append(call.toHash());
    // Into a store without calls, inside a transaction (so a failure leaves the store as it was),
    // only earlier calls of the list can match: they are found in memory, with the same result
    // as looking each one up, and the indexes are built once at the end.
    const bool inTransaction = sqlite3_get_autocommit(db.handle) == 0;
    if (inTransaction && pragmaValueThrow(db, "select exists(select 1 from call)") == 0) {
        const QList<qsizetype> first = firstOccurrences(hashes);
        IndexesDropped indexes(db, "call");
        for (qsizetype i = 0; i < calls.size(); ++i) {
            before(i);
            if (first[i] == i)
                insertRow(calls[i], hashes[i]);
        }
        indexes.rebuildThrow();
        return;
    }
    for (qsizetype i = 0; i < calls.size(); ++i) {
        before(i);
        if (!findThrow(hashes[i]))
            insertRow(calls[i], hashes[i]);
    }
}

std::optional<qint64> LocalCallHistoryDb::findThrow(const QByteArray& hash)
{
    // Prepared once per connection: saving many calls costs one lookup and one insert each.
    sqlite3_stmt* find = preparedThrow(m_find, "select _id from call where hash=?");
    sqlite3_bind_text(find, 1, hash.constData(), int(hash.size()), SQLITE_STATIC);
    std::optional<qint64> id;
    if (stepThrow(db.handle, find) == SQLITE_ROW)
        id = sqlite3_column_int64(find, 0);
    sqlite3_reset(find);
    return id;
}

qint64 LocalCallHistoryDb::insertRow(const _CallHistory& call, const QByteArray& hash)
{
    sqlite3_stmt* ins = preparedThrow(m_insert,
        "insert into "
        "call(address,date,duration,flags,person,hash,name,country_code,network_code,read,assisted,"
        "face_time_data,originalAddress,answered,call_type,availability,device_id,cn,unique_id) "
        "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    // The texts stay alive until the step, so SQLite reads them in place.
    const std::pair<int, const QString*> texts[] = { { 1, &call.address }, { 5, &call.person },
        { 7, &call.name }, { 8, &call.country_code }, { 9, &call.network_code },
        { 13, &call.originalAddress }, { 17, &call.device_id }, { 18, &call.cn }, { 19, &call.unique_id } };
    QByteArray utf8[std::size(texts)];
    for (size_t i = 0; i < std::size(texts); ++i) {
        utf8[i] = texts[i].second->toUtf8();
        sqlite3_bind_text(ins, texts[i].first, utf8[i].constData(), int(utf8[i].size()), SQLITE_STATIC);
    }
    sqlite3_bind_int64(ins, 2, callSecsSinceEpoch(call.date));
    sqlite3_bind_int(ins, 3, call.duration);
    sqlite3_bind_int(ins, 4, int(call.flags));
    sqlite3_bind_text(ins, 6, hash.constData(), int(hash.size()), SQLITE_STATIC);
    sqlite3_bind_int(ins, 10, call.read);
    sqlite3_bind_int(ins, 11, call.assisted);
    sqlite3_bind_blob(
        ins, 12, call.face_time_data.constData(), int(call.face_time_data.size()), SQLITE_STATIC);
    sqlite3_bind_int(ins, 14, call.answered);
    sqlite3_bind_int(ins, 15, call.call_type);
    sqlite3_bind_int(ins, 16, call.availability);
    stepThrow(db.handle, ins);
    sqlite3_reset(ins);
    return db.lastInsertId();
}

void LocalCallHistoryDb::deleteCallHistory(qint64 id)
{
    openIfNeeded();
    db.executeThrow(QStringLiteral("delete from call where _id=%1").arg(id));
}

void LocalCallHistoryDb::deleteDbFile()
{
    finalizeStatements();
    close();
    QFile file(path);
    if (!file.remove())
        throw std::runtime_error(file.errorString().toStdString());
}
