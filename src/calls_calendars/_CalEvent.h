#pragma once

#include "calls_calendars/_CalEventReminder.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

// One calendar event with its alarms. Dates are local date-times, except those of a floating event:
// its wall-clock reading is the same in every zone, so its dates are held in UTC (the stored seconds
// read as wall-clock) and never converted to local time. A null date is "none".
struct _CalEvent {
    _CalEvent() = default;
    _CalEvent(qint64 id, qint64 calendarId, QString calendarName)
        : id(id)
        , calendar_id(calendarId)
        , calendar_name(std::move(calendarName))
    {
    }

    qint64 id = 0;
    qint64 calendar_id = 0;
    QString calendar_name;
    QString tz;
    QDateTime start_date;
    QDateTime end_date;
    QString summary; // the title, then further lines (a location)
    QString description;
    QString url;
    QString rrule; // "FREQ=WEEKLY;INTERVAL=2"; empty = no repeat
    int all_day = 0;
    QString src_id;
    QList<_CalEventReminder> reminders;

    // The zone name of a floating start (an all-day item of the device).
    static constexpr const char* kFloatingTz = "_float";
    // A date of seconds since 1970: a wall-clock reading (in UTC) when floating, else local time.
    static QDateTime dateFromSecs(qint64 secs, bool floating);

    bool isFloating() const { return tz == QLatin1String(kFloatingTz); }
    // Lower-case hex MD5 over the start second (32-bit little-endian, 0 for no start) and the UTF-8
    // first line of the summary: the duplicate key of the local store.
    QByteArray toHash() const;
    // The key=value pairs of rrule, keys and values upper-cased.
    QMap<QString, QString> ruleDict() const;
    // The first line of the summary (all of it when it has no line feed).
    QString title() const;
};

// Latest start first.
bool compareCalEventLess(const _CalEvent& a, const _CalEvent& b);
