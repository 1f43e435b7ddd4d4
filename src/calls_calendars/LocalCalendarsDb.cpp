#include "calls_calendars/LocalCalendarsDb.h"

#include "calls_calendars/LocalCallHistoryDb.h"

#include <QFile>
#include <cerrno>
#include <stdexcept>

namespace
{

const char kSchemaResource[] = ":/res/local_calendars_db.sql";

QDateTime readDate(const Sqlite3Cursor& c, const QString& column, bool floating)
{
    // Only seconds after 1970 are a date: NULL, 0 and below are "no date", never 1970 or 1969.
    const qint64 secs = c.isNull(column) ? 0 : c.getInt64(column);
    if (secs <= 0)
        return QDateTime();
    return _CalEvent::dateFromSecs(secs, floating);
}

} // namespace

QVariant localCalendarSecs(const QDateTime& date)
{
    if (!date.isValid())
        return QVariant();
    return QVariant(qint64(date.toMSecsSinceEpoch() / 1000));
}

bool LocalCalendarsDb::keepsDate(const QDateTime& date)
{
    return !date.isValid() || localCalendarSecs(date).toLongLong() > 0;
}

LocalCalendarsDb::LocalCalendarsDb(QString path)
    : AbsLocalDb(std::move(path))
{
}

void LocalCalendarsDb::create()
{
    openStoreThrow(6);
    runSchemaResourceThrow(db, QLatin1String(kSchemaResource));
}

void LocalCalendarsDb::open()
{
    if (isOpened())
        return;
    if (!openStoreThrow(6) || holdsNoTable())
        runSchemaResourceThrow(db, QLatin1String(kSchemaResource));
    const QString events = db.tableTextsThrow({ QStringLiteral("events") }).value(QStringLiteral("events"));
    if (!events.contains(QLatin1String("url TEXT"), Qt::CaseInsensitive))
        db.executeThrow("ALTER TABLE events ADD COLUMN url TEXT;");
}

QList<_Calendar> LocalCalendarsDb::calendars()
{
    openIfNeeded();
    QList<_Calendar> list;
    Sqlite3Cursor c = db.queryThrow("select * from calendars order by name asc");
    while (c.moveNext()) {
        _Calendar cal(c.getInt64("_id"), c.getText("name"));
        cal.src_id = c.getText("src_id");
        cal.events = events(cal.id, cal.name);
        list.append(cal);
    }
    return list;
}

QList<_CalEvent> LocalCalendarsDb::events(qint64 calendarId, const QString& calendarName)
{
    openIfNeeded();
    QList<_CalEvent> list;
    Sqlite3Cursor c
        = db.queryThrow(QStringLiteral("select * from events where calendar_id=%1").arg(calendarId));
    while (c.moveNext()) {
        _CalEvent e(c.getInt64("_id"), calendarId, calendarName);
        e.tz = c.getText("tz");
        // Floating rows hold the wall-clock reading as UTC seconds, as the backup reader gives it.
        e.start_date = readDate(c, QStringLiteral("start_date"), e.isFloating());
        e.end_date = readDate(c, QStringLiteral("end_date"), e.isFloating());
        e.summary = c.getText("summary");
        e.description = c.getText("description");
        e.rrule = c.getText("rrule");
        e.all_day = c.getInt("all_day");
        e.src_id = c.getText("src_id");
        e.url = c.getText("url");
        Sqlite3Cursor r
            = db.queryThrow(QStringLiteral("select * from reminders where event_id=%1").arg(e.id));
        while (r.moveNext()) {
            _CalEventReminder rem(r.getInt64("_id"), e.id);
            rem.minutes = r.getInt("minutes");
            rem.method = r.getInt("method");
            rem.src_id = r.getText("src_id");
            e.reminders.append(rem);
        }
        list.append(e);
    }
    return list;
}

qint64 LocalCalendarsDb::getCalendarOrAdd(const QString& name, const QString& srcId)
{
    openIfNeeded();
    // An exact name, ASCII letters in any case; "%" and "_" are plain characters.
    Sqlite3Sql find("select _id from calendars where name = ? COLLATE NOCASE");
    find.addTextParam(name);
    Sqlite3Cursor c = db.queryThrow(find);
    if (c.moveNext() && c.getInt64(0) != 0)
        return c.getInt64(0);
    Sqlite3Sql insert("insert into calendars(name,src_id) values(?,?)");
    insert.addTextParam(name).addTextParam(srcId);
    db.executeThrow(insert);
    return db.lastInsertId();
}

qint64 LocalCalendarsDb::saveEvent(qint64 calendarId, const _CalEvent& event, bool* existed)
{
    openIfNeeded();
    if (calendarId == 0)
        calendarId = getCalendarOrAdd(event.calendar_name, QString());
    const QString hash = QString::fromLatin1(event.toHash());
    Sqlite3Sql find("select _id from events where calendar_id=? and hash=?");
    find.addInt64Param(calendarId).addTextParam(hash);
    Sqlite3Cursor c = db.queryThrow(find);
    if (c.moveNext() && c.getInt64(0) != 0) {
        if (existed)
            *existed = true;
        return c.getInt64(0);
    }
    if (existed)
        *existed = false;
    Sqlite3Sql insert(
        "insert into events(calendar_id,tz,start_date,end_date,summary,description,rrule,all_day,"
        "hash,src_id,url) values(?,?,?,?,?,?,?,?,?,?,?)");
    insert.addInt64Param(calendarId).addTextParam(event.tz);
    insert.addParam(localCalendarSecs(event.start_date)).addParam(localCalendarSecs(event.end_date));
    insert.addTextParam(event.summary).addTextParam(event.description).addTextParam(event.rrule);
    insert.addIntParam(event.all_day).addTextParam(hash).addTextParam(event.src_id).addTextParam(event.url);
    db.executeThrow(insert);
    const qint64 id = db.lastInsertId();
    for (const _CalEventReminder& r : event.reminders) {
        Sqlite3Sql rem("insert into reminders(event_id,minutes,method,src_id) values(?,?,?,?)");
        rem.addInt64Param(id).addIntParam(r.minutes).addIntParam(r.method).addTextParam(r.src_id);
        db.executeThrow(rem);
    }
    return id;
}

void LocalCalendarsDb::deleteEvent(qint64 eventId)
{
    openIfNeeded();
    db.executeThrow(QStringLiteral("delete from reminders where event_id=%1").arg(eventId));
    db.executeThrow(QStringLiteral("delete from events where _id=%1").arg(eventId));
    db.executeThrow(
        "delete from calendars where _id not in (select calendar_id from events group by calendar_id)");
}

void LocalCalendarsDb::deleteDbFile()
{
    close();
    // From the folder the store was held in: a link planted on the way never leads the removal.
    if (!removeStoreFile() && errno != ENOENT)
        throw std::runtime_error(qt_error_string(errno).toStdString());
}

qint64 LocalCalendarsDb::total()
{
    openIfNeeded();
    Sqlite3Cursor c = db.queryThrow("select count(*) from events");
    return c.moveNext() ? c.getInt64(0) : 0;
}
