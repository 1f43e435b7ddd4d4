#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "calls_calendars/ICalendarDb.h"

#include <QDir>
#include <QStringList>

class BackupManifest;

// The calendars of a backup: its Calendar.sqlitedb, read from the copy in the backup's cache folder.
// Never writes to it.
class IOSCalendarDb : public ICalendarDb
{
public:
    // The file id of HomeDomain-Library/Calendar/Calendar.sqlitedb.
    static constexpr const char* kCalendarFile = "2041457d5fe04d39d0ab481178355df6781e6858";

    // manifest may be null: the cache folder's file under its usual id is read then.
    IOSCalendarDb(const BackupManifest* manifest, const QDir& cacheDir);
    ~IOSCalendarDb() override = default;

    void openCheck();
    QList<_Calendar> calendars() override;
    QStringList eventLocations(qint64 rowid);
    qint64 total();

private:
    _CalEvent eventFromRow(const Sqlite3Cursor& c, qint64 rowid);

    const BackupManifest* m_manifest;
    QDir m_cacheDir;
    Sqlite3DB m_db;
};

// The date-time of a Calendar.sqlitedb date (seconds since 2001, fraction dropped): local time, or
// the wall-clock reading in UTC for a floating item; null for a NULL column.
QDateTime calendarDate2001(const Sqlite3Cursor& c, const QString& column, bool floating);
