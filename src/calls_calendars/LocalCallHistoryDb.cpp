#include "calls_calendars/LocalCallHistoryDb.h"

#include "app/StoredTime.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>
#include <vector>

namespace
{

const char kSchemaResource[] = ":/res/local_callhistory_db.sql";

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
    openStoreThrow(6 | SQLITE_OPEN_NOMUTEX);
    runSchemaResourceThrow(db, QLatin1String(kSchemaResource));
}

void LocalCallHistoryDb::open()
{
    if (isOpened())
        return;
    if (!openStoreThrow(6 | SQLITE_OPEN_NOMUTEX) || holdsNoTable())
        runSchemaResourceThrow(db, QLatin1String(kSchemaResource));
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
        call.date = StoredTime::date(c, c.columnIndex(QStringLiteral("date")), 0);
        call.duration = StoredTime::duration(c, c.columnIndex(QStringLiteral("duration")));
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

LocalCallHistoryDb::~LocalCallHistoryDb() = default;

namespace
{

// The store's page cache while saving many calls, in KiB: hashes are looked up and indexed in
// random order, and a cache that holds the index avoids spilling pages into the file and reading
// them back within the one transaction.
const qint64 kBulkCacheKiB = 65536;

qint64 firstInt64Throw(Sqlite3DB& db, const char* sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

// Sets the connection's page cache to kib KiB until the scope ends, then back to what it was.
class CacheSizeScope
{
public:
    CacheSizeScope(Sqlite3DB& db, qint64 kib)
        : m_db(db)
        , m_old(firstInt64Throw(db, "pragma cache_size"))
    {
        m_db.executeThrow(QStringLiteral("pragma cache_size=%1").arg(-kib)); // negative: KiB
    }
    ~CacheSizeScope()
    {
        if (m_db.handle)
            sqlite3_exec(m_db.handle, qPrintable(QStringLiteral("pragma cache_size=%1").arg(m_old)), nullptr,
                nullptr, nullptr);
    }
    CacheSizeScope(const CacheSizeScope&) = delete;
    CacheSizeScope& operator=(const CacheSizeScope&) = delete;

private:
    Sqlite3DB& m_db;
    qint64 m_old;
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

// For each hash (32 hex digits), the index of its first occurrence in the list. Sorting plain keys
// is several times faster than a hash set of the texts here.
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
    const qint64 id = findThrow(hash);
    return id ? id : insertRow(call, hash);
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
    if (inTransaction && firstInt64Throw(db, "select exists(select 1 from call)") == 0) {
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

qint64 LocalCallHistoryDb::findThrow(const QByteArray& hash)
{
    Sqlite3Stmt& find = m_stmts.prepared(QStringLiteral("select _id from call where hash=?"));
    find.bindTextThrow(1, hash);
    return m_stmts.firstInt64(find);
}

qint64 LocalCallHistoryDb::insertRow(const _CallHistory& call, const QByteArray& hash)
{
    Sqlite3Stmt& ins = m_stmts.prepared(QStringLiteral(
        "insert into "
        "call(address,date,duration,flags,person,hash,name,country_code,network_code,read,assisted,"
        "face_time_data,originalAddress,answered,call_type,availability,device_id,cn,unique_id) "
        "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    const std::pair<int, const QString*> texts[] = { { 1, &call.address }, { 5, &call.person },
        { 7, &call.name }, { 8, &call.country_code }, { 9, &call.network_code },
        { 13, &call.originalAddress }, { 17, &call.device_id }, { 18, &call.cn }, { 19, &call.unique_id } };
    for (const auto& [index, text] : texts)
        ins.bindTextThrow(index, *text);
    // A call without a date or a duration is stored with NULL there, not as 1970 or a wrapped number.
    ins.bindThrow(2, call.date.isValid() ? QVariant(callSecsSinceEpoch(call.date)) : QVariant());
    ins.bindThrow(3, call.duration ? QVariant(*call.duration) : QVariant());
    const std::pair<int, qint64> numbers[] = { { 4, int(call.flags) }, { 10, call.read },
        { 11, call.assisted }, { 14, call.answered }, { 15, call.call_type }, { 16, call.availability } };
    for (const auto& [index, number] : numbers)
        ins.bindInt64Throw(index, number);
    ins.bindTextThrow(6, hash);
    ins.bindBlobThrow(12, call.face_time_data);
    m_stmts.execute(ins);
    return db.lastInsertId();
}

void LocalCallHistoryDb::deleteCallHistory(qint64 id)
{
    openIfNeeded();
    db.executeThrow(QStringLiteral("delete from call where _id=%1").arg(id));
}

void LocalCallHistoryDb::deleteDbFile()
{
    m_stmts.clear();
    close();
    // From the folder the store was held in: a link planted on the way never leads the removal.
    if (!removeStoreFile())
        throw std::runtime_error(qt_error_string(errno).toStdString());
}
