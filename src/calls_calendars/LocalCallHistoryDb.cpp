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
    db.openThrow(path, 6);
    runSchemaResourceThrow(db, QStringLiteral(":/res/local_callhistory_db.sql"));
}

void LocalCallHistoryDb::open()
{
    if (isOpened())
        return;
    if (!QFile::exists(path))
        create();
    else
        db.openThrow(path, 2);
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
        call.date = QDateTime::fromMSecsSinceEpoch(c.getInt64("date") * 1000);
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

qint64 LocalCallHistoryDb::insertCallHistory(const _CallHistory& call)
{
    openIfNeeded();
    const QString hash = QString::fromLatin1(call.toHash());
    Sqlite3Cursor c = db.queryThrow(QStringLiteral("select _id from call where hash='%1'").arg(hash));
    if (c.moveNext())
        return c.getInt64(0);
    Sqlite3Row row;
    row["address"] = call.address;
    row["date"] = callSecsSinceEpoch(call.date);
    row["duration"] = call.duration;
    row["flags"] = int(call.flags);
    row["person"] = call.person;
    row["hash"] = hash;
    row["name"] = call.name;
    row["country_code"] = call.country_code;
    row["network_code"] = call.network_code;
    row["read"] = call.read;
    row["assisted"] = call.assisted;
    row["face_time_data"] = call.face_time_data;
    row["originalAddress"] = call.originalAddress;
    row["answered"] = call.answered;
    row["call_type"] = call.call_type;
    row["availability"] = call.availability;
    row["device_id"] = call.device_id;
    row["cn"] = call.cn;
    row["unique_id"] = call.unique_id;
    db.executeThrow(row.insertSql(QStringLiteral("call")));
    return db.lastInsertId();
}

void LocalCallHistoryDb::deleteCallHistory(qint64 id)
{
    openIfNeeded();
    db.executeThrow(QStringLiteral("delete from call where _id=%1").arg(id));
}

void LocalCallHistoryDb::deleteDbFile()
{
    close();
    QFile file(path);
    if (!file.remove())
        throw std::runtime_error(file.errorString().toStdString());
}
