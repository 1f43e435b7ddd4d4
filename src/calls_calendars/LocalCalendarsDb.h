#pragma once

#include "app/AbsLocalDb.h"
#include "calls_calendars/ICalendarDb.h"

#include <QMap>

// The program's own calendar store: calendars, their events and the events' alarms in one file
// ("calendars.db" in a local database folder, or a device's calendar mirror). A calendar holds each
// event once (by _CalEvent::toHash). Every operation opens the store first when needed.
class LocalCalendarsDb : public AbsLocalDb, public ICalendarDb
{
public:
    explicit LocalCalendarsDb(QString path);
    ~LocalCalendarsDb() override = default;

    void open() override;
    void create();
    QList<_Calendar> calendars() override;
    QList<_CalEvent> events(qint64 calendarId, const QString& calendarName);
    // The calendar of that name (ASCII letters in any case), added with srcId when there is none.
    qint64 getCalendarOrAdd(const QString& name, const QString& srcId);
    // Calendar id 0 means the calendar named by the event's calendar_name.
    qint64 saveEvent(qint64 calendarId, const _CalEvent& event, bool* existed);
    void deleteEvent(qint64 eventId);
    void deleteDbFile();
    // Events in all calendars; throws when the store cannot be opened or read.
    qint64 total();
    // Whether the store gives date back as it was saved: a null date, or one after 1970 began (the
    // store reads no seconds at or below 0 as a date).
    static bool keepsDate(const QDateTime& date);

private:
    void openIfNeeded()
    {
        if (!isOpened())
            open();
    }
};

// Seconds since 1970 of a local store date; a null date binds NULL.
QVariant localCalendarSecs(const QDateTime& date);
