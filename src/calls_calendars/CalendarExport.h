#pragma once

#include "app/AbsFormatExport.h"
#include "calls_calendars/ExportFile.h"
#include "calls_calendars/_CalEvent.h"

// Writes events to CSV (a path ending ".csv" in any case) or to iCalendar (any other path). In
// iCalendar an all-day event carries dates, any other its start and end times; an event without a
// valid start is left out of iCalendar (carries()), and gets empty date cells in CSV.
class CalendarExport : public AbsFormatExport<const _CalEvent>
{
public:
    CalendarExport(const QString& path, const QString& productName);

    void init() override;
    void write(const _CalEvent& event) override;
    void uninit() override;

    // Whether write() puts the event in the file: an iCalendar event needs a start.
    bool carries(const _CalEvent& event) const { return m_csv || event.start_date.isValid(); }
    // Whether write() leaves out the event's repeat rule: one that is no RECUR value.
    bool dropsRule(const _CalEvent& event) const
    {
        return !m_csv && !event.rrule.isEmpty() && recurValue(event.rrule).isEmpty();
    }
    // SUMMARY and DESCRIPTION text: backslash, semicolon, comma and line breaks escaped.
    static QString escapeText(const QString& text);
    // A content line folded at 75 octets (continuations begin with a blank), with its line feed.
    static QString foldLine(const QString& line);
    // The rule as an RRULE value (upper-cased, outer blanks trimmed) when it is a valid RECUR value
    // of RFC 5545: known name=value parts, each once, FREQ among them, not both UNTIL and COUNT;
    // empty otherwise.
    static QString recurValue(const QString& rule);
    // DTSTART and DTEND. All-day: dates, DTEND (exclusive) the day after the date of end - 1 s.
    // Timed: UTC date-times ("Z"), a floating event's without "Z"; no DTEND without an end after
    // the start.
    static QString timeLines(const _CalEvent& event);
    static QString vevent(const _CalEvent& event);
    static QString csvRow(const _CalEvent& event);

private:
    ExportFile m_file;
    bool m_csv;
    QString m_product;
};
