#pragma once

#include "messages/ui/AbsMsgTextFileExport.h"
#include "messages/ui/ExportLocalTime.h"

// Messages as comma-separated values: a header line, then date, send, person, number and content
// of each message on one line.
class ExportMessagesCsv : public AbsMsgTextFileExport
{
public:
    explicit ExportMessagesCsv(const QString& path);

    void write(_MsgMessage& message) override;
    // Lines made with line(), written as they are.
    void writeLines(const QString& lines);
    // The line of one message, with its line feed; time is the caller's (one per thread).
    static QString line(const _MsgMessage& message, ExportLocalTime& time);

protected:
    void writeHeader() override;

private:
    ExportLocalTime m_time;
};

// One CSV field: every double quote doubled, the whole enclosed in double quotes when it holds a
// comma, a double quote, a line feed or a carriage return; an empty text stays an empty field.
QString g_csvFormat(const QString& text);
