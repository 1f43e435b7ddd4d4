#include "calls_calendars/IOS5CallsDbCore.h"

#include "app/StoredTime.h"
#include "app/sqlite/Sqlite3RowCount.h"
#include "calls_calendars/IOSCallHistoryDb.h"

namespace
{

// Raw flags 4 to 8 of the versions before 12, and the kinds they stand for.
const int kOldKinds[5]
    = { CallFlagIncoming, CallFlagOutgoing, CallFlagNone, CallFlagNone, CallFlagUnanswered };

} // namespace

IOS5CallsDbCore::IOS5CallsDbCore()
    : m_country(QString())
{
}

void IOS5CallsDbCore::openCheck(const QString& path)
{
    if (isOpen())
        return;
    setForeign(true);
    openThrow(path, 2);
    m_columns = tbInfo(QStringLiteral("call"));
    Sqlite3Cursor c = queryThrow("select value from _SqliteDatabaseProperties where key='_ClientVersion'");
    if (c.moveNext())
        m_clientVersion = c.getInt(0);
}

CallHistoryFlag IOS5CallsDbCore::callFlag(int raw, int answered) const
{
    if (hasColumn("answered")) {
        if (raw == 0)
            return answered != 0 ? CallFlagIncoming : CallFlagUnanswered;
        return raw == 9 ? CallFlagOutgoing : CallFlagNone;
    }
    if (m_clientVersion >= 12) {
        if (raw == 0)
            return CallFlagIncoming;
        return raw == 9 ? CallFlagOutgoing : CallFlagUnanswered;
    }
    if (raw >= 4 && raw <= 8)
        return CallHistoryFlag(kOldKinds[raw - 4]);
    return CallFlagNone;
}

int IOS5CallsDbCore::callRawFlag(CallHistoryFlag flag, int& answered) const
{
    if (hasColumn("answered")) {
        answered = flag == CallFlagUnanswered ? 0 : 1;
        switch (flag) {
        case CallFlagIncoming:
        case CallFlagUnanswered:
            return 0;
        case CallFlagOutgoing:
            return 9;
        default:
            return 0x170000;
        }
    }
    if (m_clientVersion >= 12) {
        if (flag == CallFlagOutgoing)
            return 9;
        return flag == CallFlagUnanswered ? 17 : 0;
    }
    if (flag == CallFlagIncoming || flag == CallFlagOutgoing || flag == CallFlagUnanswered)
        return int(flag);
    return 0;
}

QList<_CallHistory> IOS5CallsDbCore::callHistories(IOSCallHistoryDb* owner)
{
    QList<_CallHistory> list;
    // Columns a file lacks read as empty (the cursor's rule), so old files stay readable.
    Sqlite3Cursor c = queryThrow(listSql());
    while (c.moveNext()) {
        _CallHistory call;
        call.address = c.getText("address");
        call.date = StoredTime::date(c, c.columnIndex(QStringLiteral("date")), 0);
        call.duration = StoredTime::duration(c, c.columnIndex(QStringLiteral("duration")));
        call.name = c.getText("name");
        call.country_code = c.getText("country_code");
        call.network_code = c.getText("network_code");
        call.read = c.getInt("read");
        call.assisted = c.getInt("assisted");
        call.face_time_data = c.getBlob("face_time_data");
        call.originalAddress = c.getText("originalAddress");
        if (hasColumn("answered"))
            call.answered = c.getInt("answered");
        call.flags = callFlag(c.getInt("flags"), call.answered);
        call.person = owner ? owner->personFor(call.address) : QString();
        list.append(std::move(call));
    }
    return list;
}

QString IOS5CallsDbCore::listSql()
{
    return QStringLiteral("select %1 from call order by date desc")
        .arg(columnsOf(QStringLiteral("call"),
            { "address", "date", "duration", "name", "country_code", "network_code", "read", "assisted",
                "face_time_data", "originalAddress", "answered", "flags" }));
}

qint64 IOS5CallsDbCore::total(IOSCallHistoryDb*)
{
    // Counted by the page's own reading, as the newer store is.
    return sqlite3RowCountThrow(*this, listSql());
}

qint64 IOS5CallsDbCore::saveCall(IOSCallHistoryDb* owner, const _CallHistory& call)
{
    const qint64 secs = callSecsSinceEpoch(call.date);
    // 64-bit, so dates past 2038 find their own row; a call without a date finds one without.
    Sqlite3Sql find(call.date.isValid() ? "select ROWID from call where date=? and address=?"
                                        : "select ROWID from call where date is null and address=?");
    if (call.date.isValid())
        find.addInt64Param(secs);
    find.addTextParam(call.address);
    Sqlite3Cursor c = queryThrow(find);
    if (c.moveNext())
        return c.getInt64(0);

    int answered = 1;
    Sqlite3Row row;
    row["address"] = call.address;
    if (call.date.isValid())
        row["date"] = secs;
    if (call.duration)
        row["duration"] = *call.duration;
    row["flags"] = callRawFlag(call.flags, answered);
    // Older files lack some columns (no network_code, say): only the columns present are written.
    if (hasColumn("id"))
        row["id"] = owner ? owner->contactIdByNumber(call.address, -1) : qint64(-1);
    if (hasColumn("name"))
        row["name"] = call.name;
    if (hasColumn("country_code")) {
        if (!call.country_code.isEmpty())
            row["country_code"] = call.country_code;
        else if (!call.cn.isEmpty())
            row["country_code"] = m_country.infoByCode(call.cn.toUpper(), nullptr).mmc;
    }
    if (hasColumn("network_code"))
        row["network_code"] = call.network_code;
    if (hasColumn("read"))
        row["read"] = call.read;
    if (hasColumn("assisted"))
        row["assisted"] = call.assisted;
    if (hasColumn("face_time_data") && !call.face_time_data.isEmpty())
        row["face_time_data"] = call.face_time_data;
    if (hasColumn("originalAddress"))
        row["originalAddress"] = call.originalAddress;
    if (hasColumn("answered"))
        row["answered"] = answered;
    executeThrow(row.insertSql(QStringLiteral("call")));
    return lastInsertId();
}
