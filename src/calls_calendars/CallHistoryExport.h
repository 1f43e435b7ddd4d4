#pragma once

#include "app/AbsFormatExport.h"
#include "calls_calendars/ExportFile.h"
#include "calls_calendars/_CallHistory.h"

// Writes calls to a CSV file (a path ending ".csv" in any case) or to fixed-width text (any other
// path): a header line, then one line per call.
class CallHistoryExport : public AbsFormatExport<const _CallHistory>
{
public:
    explicit CallHistoryExport(const QString& path);

    void init() override;
    void write(const _CallHistory& call) override;
    void uninit() override;

    static QString flagWord(int flags);
    static QString dateText(const QDateTime& date);
    // "N s", or empty for a call without a duration.
    static QString durationText(const _CallHistory& call);
    static QString line(const _CallHistory& call, bool csv);
    static QString header(bool csv);

private:
    ExportFile m_file;
    bool m_csv;
};
