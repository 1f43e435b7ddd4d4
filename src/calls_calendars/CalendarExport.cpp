#include "calls_calendars/CalendarExport.h"

#include "app/CsvHelper.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>
#include <algorithm>

namespace
{

QString icsDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

// A DATE-TIME value: UTC with "Z", or a floating event's wall-clock reading without it.
QString icsDateTime(const QDateTime& time, bool floating)
{
    static const QString form = QStringLiteral("yyyyMMdd'T'HHmmss");
    return floating ? time.toString(form) : time.toUTC().toString(form) + QLatin1Char('Z');
}

QString csvDate(const QDateTime& date)
{
    return date.isValid() ? QLocale::system().toString(date.date(), QLocale::ShortFormat) : QString();
}

// The exclusive DATE end: the day after the last day, the date of (end - 1 s), so an end at
// midnight gains no day; at least the day after the start.
QDate exclusiveEnd(const QDate& start, const QDateTime& end)
{
    const QDate after = end.isValid() ? end.addSecs(-1).date().addDays(1) : QDate();
    return after.isValid() && after > start ? after : start.addDays(1);
}

bool isWeekday(QStringView text)
{
    static const QStringList days { "SU", "MO", "TU", "WE", "TH", "FR", "SA" };
    return days.contains(text);
}

// A whole number of at most `digits` digits, with a sign only when `sign`, within [min, max].
bool isNumberIn(QStringView text, int digits, bool sign, int min, int max)
{
    if (sign && (text.startsWith(u'+') || text.startsWith(u'-')))
        text = text.mid(1);
    if (text.isEmpty() || text.size() > digits)
        return false;
    for (QChar ch : text)
        if (ch < u'0' || ch > u'9')
            return false;
    const int value = text.toInt();
    return value >= min && value <= max;
}

// One BYDAY item: a weekday, optionally after a signed week number 1-53.
bool isWeekdayNum(QStringView text)
{
    return text.size() >= 2 && isWeekday(text.right(2))
        && (text.size() == 2 || isNumberIn(text.chopped(2), 2, true, 1, 53));
}

bool isUntil(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{8})(T(\\d{6})Z?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || !QDate::fromString(m.captured(1), QStringLiteral("yyyyMMdd")).isValid())
        return false;
    return !m.hasCaptured(2) || QTime::fromString(m.captured(3), QStringLiteral("HHmmss")).isValid();
}

// A comma-separated list whose every item passes `item`.
template <typename Item> bool isListOf(const QString& text, Item item)
{
    const QStringList items = text.split(QLatin1Char(','));
    return std::all_of(
        items.cbegin(), items.cend(), [&](const QString& one) { return item(QStringView(one)); });
}

// One recur-rule-part value (RFC 5545, 3.3.10) for its upper-case name.
bool isRulePartValue(const QString& name, const QString& value)
{
    static const QStringList freqs { "SECONDLY", "MINUTELY", "HOURLY", "DAILY", "WEEKLY", "MONTHLY",
        "YEARLY" };
    struct Numbers {
        const char* name;
        int digits;
        bool sign;
        int min;
        int max;
    };
    static const Numbers lists[] = { { "BYSECOND", 2, false, 0, 60 }, { "BYMINUTE", 2, false, 0, 59 },
        { "BYHOUR", 2, false, 0, 23 }, { "BYMONTHDAY", 2, true, 1, 31 }, { "BYYEARDAY", 3, true, 1, 366 },
        { "BYWEEKNO", 2, true, 1, 53 }, { "BYMONTH", 2, false, 1, 12 }, { "BYSETPOS", 3, true, 1, 366 } };
    if (name == QLatin1String("FREQ"))
        return freqs.contains(value);
    if (name == QLatin1String("UNTIL"))
        return isUntil(value);
    if (name == QLatin1String("COUNT") || name == QLatin1String("INTERVAL"))
        return isNumberIn(value, 9, false, 1, 999999999);
    if (name == QLatin1String("WKST"))
        return isWeekday(value);
    if (name == QLatin1String("BYDAY"))
        return isListOf(value, isWeekdayNum);
    for (const Numbers& n : lists)
        if (name == QLatin1String(n.name))
            return isListOf(
                value, [&](QStringView v) { return isNumberIn(v, n.digits, n.sign, n.min, n.max); });
    return false;
}

// A timed event's rule: an UNTIL given as a date becomes the end of that day, as a date-time of the
// same form as the start (a date would not match a date-time start).
QString untilAsDateTime(const QString& rule, bool floating)
{
    QStringList parts = rule.split(QLatin1Char(';'));
    for (QString& part : parts) {
        if (!part.startsWith(QLatin1String("UNTIL=")) || part.size() != 14)
            continue;
        const QDate day = QDate::fromString(part.mid(6), QStringLiteral("yyyyMMdd"));
        const QTime last(23, 59, 59);
        part = QStringLiteral("UNTIL=")
            + icsDateTime(floating ? QDateTime(day, last, Qt::UTC) : QDateTime(day, last), floating);
    }
    return parts.join(QLatin1Char(';'));
}

// The rule text shown in a log line: control characters as "?".
QString printableRule(QString rule)
{
    for (QChar& ch : rule)
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char('?');
    return rule;
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

QString CalendarExport::recurValue(const QString& rule)
{
    const QString text = rule.trimmed().toUpper();
    QSet<QString> names;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        const QString name = part.left(eq);
        if (eq <= 0 || names.contains(name) || !isRulePartValue(name, part.mid(eq + 1)))
            return QString();
        names.insert(name);
    }
    // FREQ is required; UNTIL and COUNT exclude each other.
    if (!names.contains(QStringLiteral("FREQ"))
        || (names.contains(QStringLiteral("UNTIL")) && names.contains(QStringLiteral("COUNT"))))
        return QString();
    return text;
}

QString CalendarExport::timeLines(const _CalEvent& e)
{
    const QDate start = e.start_date.date();
    if (e.all_day != 0)
        return QStringLiteral("DTSTART;VALUE=DATE:%1\nDTEND;VALUE=DATE:%2\n")
            .arg(icsDate(start), icsDate(exclusiveEnd(start, e.end_date)));
    QString text = QStringLiteral("DTSTART:%1\n").arg(icsDateTime(e.start_date, e.isFloating()));
    // Without an end after the start the event lasts no time: RFC 5545 then leaves DTEND out.
    if (e.end_date.isValid() && e.end_date > e.start_date)
        text += QStringLiteral("DTEND:%1\n").arg(icsDateTime(e.end_date, e.isFloating()));
    return text;
}

QString CalendarExport::vevent(const _CalEvent& e)
{
    static const QRegularExpression notUid(QStringLiteral("[^A-Z0-9\\-]"));
    QString uid = QUuid::createUuid().toString().toUpper();
    uid.remove(notUid);
    QString text = QStringLiteral("BEGIN:VEVENT\n") + timeLines(e);
    text += QStringLiteral("DTSTAMP:%1T000000Z\n").arg(icsDate(e.start_date.date()));
    if (!e.rrule.isEmpty()) {
        // A rule that is no RECUR value would make readers reject the whole file.
        QString rule = recurValue(e.rrule);
        if (!rule.isEmpty() && e.all_day == 0)
            rule = untilAsDateTime(rule, e.isFloating());
        if (!rule.isEmpty())
            text += foldLine(QStringLiteral("RRULE:") + rule);
        else
            qWarning(
                "Calendar export: the repeat rule \"%s\" of \"%s\" is no iCalendar rule; it is left out.",
                qUtf8Printable(printableRule(e.rrule)), qUtf8Printable(printableRule(e.title())));
    }
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
    if (!carries(event))
        return;
    m_file.writeThrow(m_csv ? csvRow(event) : vevent(event));
}

void CalendarExport::uninit()
{
    if (!m_csv)
        m_file.writeThrow(QStringLiteral("END:VCALENDAR\n"));
    m_file.finishThrow();
}
