#include "calls_calendars/LocalCallHistoryDb.h"

#include <QFile>
#include <stdexcept>

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

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

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

} // namespace

qint64 LocalCallHistoryDb::insertCallHistory(const _CallHistory& call)
{
    openIfNeeded();
    // Prepared once per connection: saving many calls costs one lookup and one insert each.
    const QByteArray hash = call.toHash();
    sqlite3_stmt* find = preparedThrow(m_find, "select _id from call where hash=?");
    sqlite3_bind_text(find, 1, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
    if (stepThrow(db.handle, find) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(find, 0);
        sqlite3_reset(find);
        return id;
    }
    sqlite3_reset(find);
    sqlite3_stmt* ins = preparedThrow(m_insert,
        "insert into "
        "call(address,date,duration,flags,person,hash,name,country_code,network_code,read,assisted,"
        "face_time_data,originalAddress,answered,call_type,availability,device_id,cn,unique_id) "
        "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    bindText(ins, 1, call.address);
    sqlite3_bind_int64(ins, 2, callSecsSinceEpoch(call.date));
    sqlite3_bind_int(ins, 3, call.duration);
    sqlite3_bind_int(ins, 4, int(call.flags));
    bindText(ins, 5, call.person);
    sqlite3_bind_text(ins, 6, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
    bindText(ins, 7, call.name);
    bindText(ins, 8, call.country_code);
    bindText(ins, 9, call.network_code);
    sqlite3_bind_int(ins, 10, call.read);
    sqlite3_bind_int(ins, 11, call.assisted);
    sqlite3_bind_blob(
        ins, 12, call.face_time_data.constData(), int(call.face_time_data.size()), SQLITE_TRANSIENT);
    bindText(ins, 13, call.originalAddress);
    sqlite3_bind_int(ins, 14, call.answered);
    sqlite3_bind_int(ins, 15, call.call_type);
    sqlite3_bind_int(ins, 16, call.availability);
    bindText(ins, 17, call.device_id);
    bindText(ins, 18, call.cn);
    bindText(ins, 19, call.unique_id);
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
