#include "calls_calendars/IOS8CallsDbCore.h"

#include "app/MacEpoch.h"
#include "app/StoredTime.h"
#include "app/sqlite/Sqlite3RowCount.h"
#include "calls_calendars/IOSCallHistoryDb.h"

#include <QCryptographicHash>
#include <iterator>
#include <stdexcept>

namespace
{

const qint64 kSecs1970To2001 = kMacEpochOffset;

// The columns the list reads, in the order callHistories names them.
const char* const kListColumns[]
    = { "ZADDRESS", "ZNAME", "ZDEVICE_ID", "ZISO_COUNTRY_CODE", "ZUNIQUE_ID", "ZDATE", "ZDURATION", "ZREAD",
          "ZANSWERED", "ZCALLTYPE", "ZNUMBER_AVAILABILITY", "ZFACE_TIME_DATA", "ZORIGINATED" };

} // namespace

IOS8CallsDbCore::IOS8CallsDbCore()
    : m_country(QString())
{
}

void IOS8CallsDbCore::openCheck(const QString& path)
{
    if (isOpen())
        return;
    setForeign(true);
    openThrow(path, 2);
    m_schema.loadDbThrow(*this, { QStringLiteral("ZCALLRECORD") });
    m_entity = -1;
    Sqlite3Cursor c = queryThrow(QStringLiteral("select %1 from Z_PRIMARYKEY")
                                     .arg(columnsOf(QStringLiteral("Z_PRIMARYKEY"), { "Z_NAME", "Z_ENT" })));
    while (c.moveNext()) {
        if (c.getText("Z_NAME").compare(QLatin1String("CallRecord"), Qt::CaseInsensitive) == 0) {
            m_entity = c.getInt("Z_ENT");
            break;
        }
    }
}

QList<_CallHistory> IOS8CallsDbCore::callHistories(IOSCallHistoryDb* owner)
{
    QList<_CallHistory> list;
    // Columns found once; a column the store lacks (-1) reads as empty.
    enum {
        Address,
        Name,
        Device,
        Country,
        Unique,
        Date,
        Duration,
        Read,
        Answered,
        Type,
        Avail,
        FaceTime,
        Orig,
        N
    };
    static_assert(N == std::size(kListColumns));
    Sqlite3Cursor c = queryThrow(listSql());
    int col[N];
    for (int i = 0; i < N; ++i)
        col[i] = c.columnIndex(QLatin1String(kListColumns[i]));
    while (c.moveNext()) {
        _CallHistory call;
        call.address = c.getText(col[Address]);
        call.name = c.getText(col[Name]);
        call.device_id = c.getText(col[Device]);
        call.cn = c.getText(col[Country]);
        call.unique_id = c.getText(col[Unique]);
        // Kept in UTC (cheap to compare and sort); shown in local time.
        call.date = StoredTime::date(c, col[Date], kSecs1970To2001);
        call.duration = StoredTime::duration(c, col[Duration]);
        call.read = c.getInt(col[Read]);
        call.answered = c.getInt(col[Answered]);
        call.call_type = c.getInt(col[Type]);
        call.availability = c.getInt(col[Avail]);
        call.face_time_data = c.getBlob(col[FaceTime]);
        if (c.getInt(col[Orig]) != 0)
            call.flags = CallFlagOutgoing;
        else
            call.flags = call.answered != 0 ? CallFlagIncoming : CallFlagUnanswered;
        call.person = owner ? owner->personFor(call.address) : QString();
        list.append(std::move(call));
    }
    return list;
}

QString IOS8CallsDbCore::listSql()
{
    QStringList wanted;
    for (const char* name : kListColumns)
        wanted << QLatin1String(name);
    return QStringLiteral("select %1 from ZCALLRECORD order by ZDATE desc")
        .arg(columnsOf(QStringLiteral("ZCALLRECORD"), wanted));
}

qint64 IOS8CallsDbCore::total(IOSCallHistoryDb*)
{
    // Counted by the page's own reading: a call it cannot read (a value larger than a phone keeps)
    // leaves the calls uncounted, as it leaves the page without them.
    return sqlite3RowCountThrow(*this, listSql());
}

QString IOS8CallsDbCore::uniqueIdFor(const _CallHistory& call)
{
    const QString hex
        = QString::fromLatin1(QCryptographicHash::hash(call.toHash(), QCryptographicHash::Md5).toHex())
              .toUpper();
    return QStringLiteral("%1-%2-%3-%4-%5")
        .arg(hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12));
}

Sqlite3Row IOS8CallsDbCore::rowFor(const _CallHistory& call, const QString& uid)
{
    Sqlite3Row row;
    row["Z_ENT"] = m_entity;
    row["Z_OPT"] = 1;
    row["ZORIGINATED"] = call.flags == CallFlagOutgoing ? 1 : 0;
    row["ZANSWERED"] = call.flags == CallFlagIncoming ? 1 : 0;
    row["ZCALLTYPE"] = call.call_type;
    if (!call.face_time_data.isEmpty())
        row["ZFACE_TIME_DATA"] = call.face_time_data;
    row["ZNUMBER_AVAILABILITY"] = call.availability;
    row["ZREAD"] = call.read;
    // A call without a date or a duration keeps the column NULL rather than a made-up number.
    if (call.date.isValid())
        row["ZDATE"] = double(callSecsSinceEpoch(call.date) - kSecs1970To2001);
    if (call.duration)
        row["ZDURATION"] = double(*call.duration);
    row["ZADDRESS"] = call.address;
    if (!call.device_id.isEmpty())
        row["ZDEVICE_ID"] = call.device_id;
    if (!call.cn.isEmpty())
        row["ZISO_COUNTRY_CODE"] = call.cn;
    else if (!call.country_code.isEmpty())
        row["ZISO_COUNTRY_CODE"] = m_country.infoByMMC(call.country_code, nullptr).sn.toLower();
    if (!call.name.isEmpty())
        row["ZNAME"] = call.name;
    row["ZUNIQUE_ID"] = uid;
    // A key above both the counter and the rows, so no key the store's own counter handed out
    // before (to a row since deleted, say) is used twice.
    row["Z_PK"] = call.z_pk != 0 ? call.z_pk : nextKey();
    if (hasColumn("ZCALL_CATEGORY"))
        row["ZCALL_CATEGORY"] = 1;
    if (hasColumn("ZHANDLE_TYPE"))
        row["ZHANDLE_TYPE"] = 2;
    if (hasColumn("ZLOCATION"))
        row["ZLOCATION"] = QStringLiteral("<<RecentsNumberLocationNotFound>>");
    if (hasColumn("ZSERVICE_PROVIDER"))
        row["ZSERVICE_PROVIDER"] = QStringLiteral("com.apple.Telephony");
    return row;
}

qint64 IOS8CallsDbCore::saveCall(IOSCallHistoryDb*, const _CallHistory& call)
{
    // Without the entity number a row would carry a wrong Z_ENT: refuse before writing anything.
    if (m_entity < 0)
        throw std::runtime_error("The call history store has no CallRecord entity; nothing was written.");
    const QString uid = call.unique_id.isEmpty() ? uniqueIdFor(call) : call.unique_id;
    Sqlite3Sql find("select rowid from ZCALLRECORD where ZUNIQUE_ID=?");
    find.addTextParam(uid);
    Sqlite3Cursor c = queryThrow(find);
    if (c.moveNext())
        return c.getInt64(0);

    executeThrow(rowFor(call, uid).insertSql(QStringLiteral("ZCALLRECORD")));
    return lastInsertId();
}

qint64 IOS8CallsDbCore::nextKey()
{
    Sqlite3Cursor c = queryThrow("select max(coalesce((select max(Z_MAX) from Z_PRIMARYKEY where "
                                 "Z_NAME='CallRecord'),0),coalesce((select max(Z_PK) from ZCALLRECORD),0))");
    return (c.moveNext() ? c.getInt64(0) : 0) + 1;
}

void IOS8CallsDbCore::endSaveThrow()
{
    // The counter only ever grows, and an empty table leaves it as it is (never NULL).
    executeThrow("update Z_PRIMARYKEY set Z_MAX=max(coalesce(Z_MAX,0),"
                 "(select coalesce(max(Z_PK),0) from ZCALLRECORD)) where Z_NAME='CallRecord'");
}

QList<Sqlite3Row> IOS8CallsDbCore::tableRows(const QString& table)
{
    QList<Sqlite3Row> rows;
    Sqlite3Cursor c = queryThrow(QStringLiteral("select %1 from %2").arg(storedColumnsOf(table), table));
    while (c.moveNext())
        rows.append(c.getRow());
    return rows;
}
