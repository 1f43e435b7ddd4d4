#pragma once

#include "calls_calendars/_Calendar.h"
#include "device/PlistCFType.h"

#include <QMap>
#include <QString>

// The records of the device's calendar sync (data class "com.apple.Calendars"): identifiers
// "kind/number" (1 calendar, 2 event, 5 recurrence), reading batches into calendars and events, and
// the event and recurrence records of new events.
class CalendarSyncRecords
{
public:
    // True when id is a whole "kind/number" identifier; fills kind and number.
    static bool parseId(const QString& id, int* kind, int* number);

    // Reads one batch (identifier to record) into the maps.
    void readBatch(const PlistCFType& batch);
    // Rules into their events, events into their calendars; calendars and events by number.
    QList<_Calendar> join() const;

    // The event record of a new event for the target calendar's device identifier.
    static PlistCFType eventRecord(const _CalEvent& event, const QString& calendarSrcId);
    // The recurrence record for an event whose rule has a FREQ; a null value otherwise.
    static PlistCFType recurrenceRecord(const _CalEvent& event, const QString& ownerId);
    // The "summary" and "location" of a summary's lines (location null when it has one line).
    static void splitSummary(const QString& summary, QString* title, QString* location, bool* hasLocation);

    // A sync date read as the wall-clock reading it was written as (the mirror of createCFDate),
    // plus offsetSecs: no shift across summer time.
    static QDateTime wallClockDate(const PlistCFType& date, int offsetSecs);

    static constexpr const char* kDataClass = "com.apple.Calendars";

private:
    QMap<int, _Calendar> m_calendars;
    QMap<int, _CalEvent> m_events;
    QMap<int, QString> m_rules;
};
