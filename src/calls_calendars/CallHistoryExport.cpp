#include "calls_calendars/CallHistoryExport.h"

#include "app/CsvHelper.h"

#include <QLocale>

namespace
{

const int kWidths[5] = { 15, 20, 20, 25, 15 };

QString fixedLine(const QStringList& cells)
{
    QString text;
    for (int i = 0; i < 5; ++i)
        text += cells.value(i).leftJustified(kWidths[i]);
    return text + QLatin1Char('\n');
}

} // namespace

CallHistoryExport::CallHistoryExport(const QString& path)
    : m_file(path)
    , m_csv(ExportFile::isCsvPath(path))
{
}

QString CallHistoryExport::flagWord(int flags)
{
    if (flags == CallFlagIncoming)
        return QStringLiteral("Incoming");
    if (flags == CallFlagOutgoing)
        return QStringLiteral("Outgoing");
    return QStringLiteral("Blocked");
}

QString CallHistoryExport::dateText(const QDateTime& date)
{
    return QLocale::system().toString(date.toLocalTime(), QLocale::ShortFormat);
}

QString CallHistoryExport::durationText(const _CallHistory& call)
{
    return call.duration ? QStringLiteral("%1 s").arg(*call.duration) : QString();
}

QString CallHistoryExport::header(bool csv)
{
    if (csv)
        return QStringLiteral("Flag,Number,Contact,Date,Duration\n");
    return fixedLine({ "Flag", "Number", "Contact", "Date", "Duration" });
}

QString CallHistoryExport::line(const _CallHistory& call, bool csv)
{
    const QString duration = durationText(call);
    if (csv)
        return QStringList { flagWord(call.flags), csvhelper::formatCell(call.address),
            csvhelper::formatCell(call.person), dateText(call.date), duration }
                   .join(QLatin1Char(','))
            + QLatin1Char('\n');
    return fixedLine({ flagWord(call.flags), call.address, call.person, dateText(call.date), duration });
}

void CallHistoryExport::init()
{
    m_file.openThrow();
    m_file.writeThrow(header(m_csv));
}

void CallHistoryExport::write(const _CallHistory& call)
{
    m_file.writeThrow(line(call, m_csv));
}

void CallHistoryExport::uninit()
{
    m_file.finishThrow();
}
