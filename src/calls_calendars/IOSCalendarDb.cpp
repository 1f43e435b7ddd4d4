#include "calls_calendars/IOSCalendarDb.h"

#include "app/MacEpoch.h"
#include "backup/BackupManifest.h"

#include <QMap>
#include <QSet>
#include <cmath>
#include <stdexcept>

QDateTime calendarDate2001(const Sqlite3Cursor& c, const QString& column, bool floating)
{
    if (c.isNull(column))
        return QDateTime();
    // 64-bit whole seconds: dates before 1970 and after 2038 keep their values.
    const qint64 secs = qint64(std::trunc(c.getDouble(column)));
    return _CalEvent::dateFromSecs(secs + kMacEpochOffset, floating);
}

IOSCalendarDb::IOSCalendarDb(const BackupManifest* manifest, const QDir& cacheDir)
    : m_manifest(manifest)
    , m_cacheDir(cacheDir)
{
}

void IOSCalendarDb::openCheck()
{
    if (m_db.isOpen())
        return;
    QString name = QLatin1String(kCalendarFile);
    if (m_manifest) {
        if (!m_manifest->calendarNode)
            throw std::runtime_error("Cannot find Calendar.sqlitedb");
        name = m_manifest->calendarNode->item.backupFileName();
    }
    m_db.setForeign(true);
    m_db.openThrow(m_cacheDir.absoluteFilePath(name), 2);
    // Another generation's file (no calendar table) is refused whole, so it neither lists nor counts.
    bool calendar = false;
    try {
        calendar = m_db.tableExists(QStringLiteral("calendar"));
    } catch (const std::exception&) {
        m_db.close(); // a view in its place: refused, and refused again at the next try
        throw;
    }
    if (!calendar) {
        m_db.close();
        throw std::runtime_error(
            "This Calendar.sqlitedb has no calendar table; its layout is not supported.");
    }
}

_CalEvent IOSCalendarDb::eventFromRow(const Sqlite3Cursor& c, qint64 rowid)
{
    _CalEvent e(rowid, c.getInt64("calendar_id"), c.getText("calendar"));
    e.all_day = c.getInt("all_day");
    e.tz = c.getText("start_tz");
    // A floating item (all-day ones) is a wall-clock reading: its date is the same in every zone.
    e.start_date = calendarDate2001(c, QStringLiteral("start_date"), e.isFloating());
    e.end_date = calendarDate2001(c, QStringLiteral("end_date"), e.isFloating());
    e.summary = c.getText("summary");
    e.description = c.getText("description");
    e.url = c.getText("url");
    static const char* const freqs[] = { "FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY" };
    const int freq = c.getInt("frequency");
    if (freq >= 1 && freq <= 4)
        e.rrule = QLatin1String(freqs[freq - 1]);
    const int interval = c.getInt("interval");
    if (interval > 0)
        e.rrule += QStringLiteral(";INTERVAL=%1").arg(interval);
    const QStringList locations = eventLocations(rowid);
    if (!locations.isEmpty()) {
        for (const QString& title : locations)
            if (!title.isEmpty())
                e.summary += QLatin1Char('\n') + title;
        e.summary = e.summary.trimmed();
    }
    return e;
}

namespace
{
// The events of the calendars, each with its recurrence rows.
const char* const kEventsFrom
    = "from calendaritem as i inner join calendar as c on i.calendar_id=c.rowid and (i.birthday_id <= 0 or "
      "i.birthday_id is null) and i.entity_type=2 left join recurrence as r on i.rowid=r.owner_id";
const char* const kEventsSelect = "select i.rowid,i.calendar_id,c.title as calendar,i.summary,i.description,"
                                  "i.creation_date, i.start_tz,i.start_date,i.end_date,i.all_day,i.url, "
                                  "r.frequency,r.interval ";
} // namespace

QList<_Calendar> IOSCalendarDb::calendars()
{
    openCheck();
    QMap<qint64, _Calendar> byId;
    QSet<qint64> seen;
    Sqlite3Cursor c = m_db.queryThrow(QLatin1String(kEventsSelect) + QLatin1String(kEventsFrom));
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        // An item with several recurrence rows is listed once, with its first rule.
        if (seen.contains(rowid))
            continue;
        seen.insert(rowid);
        const qint64 calId = c.getInt64("calendar_id");
        if (!byId.contains(calId))
            byId.insert(calId, _Calendar(calId, c.getText("calendar")));
        byId[calId].events.append(eventFromRow(c, rowid));
    }
    return byId.values();
}

QStringList IOSCalendarDb::eventLocations(qint64 rowid)
{
    QStringList titles;
    Sqlite3Cursor c
        = m_db.queryThrow(QStringLiteral("select title from Location where item_owner_id=%1").arg(rowid));
    while (c.moveNext())
        titles.append(c.getText("title"));
    return titles;
}

qint64 IOSCalendarDb::total()
{
    openCheck();
    // Every event counts whatever its availability: "free" is an ordinary state on a device. The
    // events are counted by the page's own reading, through the same tables, joins, row numbers and
    // values, so that a file the page cannot read (a value larger than a phone keeps) has no count
    // either.
    QSet<qint64> seen;
    {
        Sqlite3Cursor c = m_db.queryThrow(QLatin1String(kEventsSelect) + QLatin1String(kEventsFrom));
        while (c.moveNext())
            seen.insert(c.getInt64(0));
    }
    const qint64 events = seen.size();
    if (events > 0) {
        // The page reads the places of each event it lists, asked for by the event's number: they
        // are read here too, in one pass rather than one per event ("+" compares as that number
        // does, without the type of a column).
        Sqlite3Cursor places = m_db.queryThrow(
            QStringLiteral("select title from Location where item_owner_id in (select +i.rowid %1)")
                .arg(QLatin1String(kEventsFrom)));
        while (places.moveNext()) { }
    }
    return events;
}
