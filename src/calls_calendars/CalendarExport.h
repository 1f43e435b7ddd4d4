#pragma once

#include "app/AbsFormatExport.h"
#include "calls_calendars/ExportFile.h"
#include "calls_calendars/_CalEvent.h"

// Writes events to CSV (a path ending ".csv" in any case) or to iCalendar (any other path). Every
// event is a whole-day event; events without a valid start are left out (accepts()).
class CalendarExport : public AbsFormatExport<const _CalEvent>
{
public:
    CalendarExport(const QString& path, const QString& productName);

    void init() override;
    void write(const _CalEvent& event) override;
    void uninit() override;

    static bool accepts(const _CalEvent& event) { return event.start_date.isValid(); }
    // SUMMARY and DESCRIPTION text: backslash, semicolon, comma and line breaks escaped.
    static QString escapeText(const QString& text);
    // A content line folded at 75 octets (continuations begin with a blank), with its line feed.
    static QString foldLine(const QString& line);
    static QString vevent(const _CalEvent& event);
    static QString csvRow(const _CalEvent& event);

private:
    ExportFile m_file;
    bool m_csv;
    QString m_product;
};
