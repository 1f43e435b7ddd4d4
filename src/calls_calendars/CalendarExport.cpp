#include "calls_calendars/CalendarExport.h"

#include "app/CsvHelper.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

namespace
{

QString icsDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

QString csvDate(const QDateTime& date)
{
    return date.isValid() ? QLocale::system().toString(date.date(), QLocale::ShortFormat) : QString();
}

} // namespace

CalendarExport::CalendarExport(const QString& path, const QString& productName)
    : m_file(path)
    , m_csv(ExportFile::isCsvPath(path))
    , m_product(productName)
{
}

QString CalendarExport::escapeText(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\\') || ch == QLatin1Char(';') || ch == QLatin1Char(','))
            out += QLatin1Char('\\') + ch;
        else if (ch == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (ch == QLatin1Char('\r')) {
            if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n'))
                out += QLatin1String("\\n");
        } else
            out += ch;
    }
    return out;
}

QString CalendarExport::foldLine(const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    if (utf8.size() <= 75)
        return line + QLatin1Char('\n');
    QByteArray out;
    qsizetype pos = 0;
    int limit = 75; // the first line; continuations carry a leading blank
    while (pos < utf8.size()) {
        qsizetype end = qMin(pos + limit, utf8.size());
        // Never cut inside a UTF-8 sequence.
        while (end < utf8.size() && end > pos && (uchar(utf8.at(end)) & 0xC0) == 0x80)
            --end;
        if (pos > 0)
            out += ' ';
        out += utf8.mid(pos, end - pos);
        out += '\n';
        pos = end;
        limit = 74;
    }
    return QString::fromUtf8(out);
}

QString CalendarExport::vevent(const _CalEvent& e)
{
    const QDate start = e.start_date.date();
    // A DATE end is exclusive: at least the day after the start.
    QDate end = e.end_date.isValid() ? e.end_date.date() : QDate();
    if (!end.isValid() || end <= start)
        end = start.addDays(1);
    static const QRegularExpression notUid(QStringLiteral("[^A-Z0-9\\-]"));
    QString uid = QUuid::createUuid().toString().toUpper();
    uid.remove(notUid);
    QString text = QStringLiteral("BEGIN:VEVENT\n");
    text += QStringLiteral("DTSTART;VALUE=DATE:%1\n").arg(icsDate(start));
    text += QStringLiteral("DTEND;VALUE=DATE:%1\n").arg(icsDate(end));
    text += QStringLiteral("DTSTAMP:%1T000000Z\n").arg(icsDate(start));
    // A rule without a frequency is no valid RRULE.
    if (!e.rrule.isEmpty() && e.ruleDict().contains(QStringLiteral("FREQ")))
        text += foldLine(QStringLiteral("RRULE:") + e.rrule);
    text += foldLine(QStringLiteral("SUMMARY:") + escapeText(e.summary));
    text += QStringLiteral("LOCATION:\n");
    text += foldLine(QStringLiteral("DESCRIPTION:") + escapeText(e.description));
    text += QStringLiteral("UID:%1\n").arg(uid);
    text += QStringLiteral("END:VEVENT\n");
    return text;
}

QString CalendarExport::csvRow(const _CalEvent& e)
{
    return QStringList { csvhelper::formatCell(e.summary), csvDate(e.start_date), csvDate(e.end_date),
        csvhelper::formatCell(e.rrule), csvhelper::formatCell(e.description) }
               .join(QLatin1Char(','))
        + QLatin1Char('\n');
}

void CalendarExport::init()
{
    m_file.openThrow();
    if (m_csv) {
        m_file.writeThrow(QStringLiteral("Summary,Start Date,End Date,RRule,Description\n"));
        return;
    }
    m_file.writeThrow(QStringLiteral("BEGIN:VCALENDAR\n")
        + foldLine(QStringLiteral("PRODID:-//Quillmarrow Ltd//%1//EN").arg(m_product))
        + QStringLiteral("VERSION:2.0\nCALSCALE:GREGORIAN\nMETHOD:PUBLISH\n"));
}

void CalendarExport::write(const _CalEvent& event)
{
    if (!accepts(event))
        return;
    m_file.writeThrow(m_csv ? csvRow(event) : vevent(event));
}

void CalendarExport::uninit()
{
    if (!m_csv)
        m_file.writeThrow(QStringLiteral("END:VCALENDAR\n"));
    m_file.finishThrow();
}
