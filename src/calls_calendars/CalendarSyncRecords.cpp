#include "calls_calendars/CalendarSyncRecords.h"

#include <QRegularExpression>

namespace
{

QString firstString(const PlistCFType& record, const char* key)
{
    const PlistCFType array = record.get(QLatin1String(key));
    return array.isCFArray() && array.array_size() > 0 ? array.at(0).CFStringQString() : QString();
}

PlistCFType stringArray(const QString& text)
{
    PlistCFType array = PlistCFType::createCFArray();
    array.append(PlistCFType::createCFString(text));
    return array;
}

QString ruleText(const PlistCFType& record)
{
    static const char* const names[] = { "daily", "weekly", "monthly", "yearly" };
    static const char* const rules[] = { "FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY" };
    const QString freq = record.get(QStringLiteral("frequency")).CFStringQString();
    QString rule;
    for (int i = 0; i < 4; ++i)
        if (freq.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
            rule = QLatin1String(rules[i]);
    const int interval = record.get(QStringLiteral("interval")).CFNumberInt(0);
    if (interval > 0)
        rule += QStringLiteral(";INTERVAL=%1").arg(interval);
    return rule;
}

int intValue(const PlistCFType& record, const char* key)
{
    // A boolean or a real is no integer and reads as 0.
    return record.get(QLatin1String(key)).CFNumberInt(0);
}

// An event record; false when its calendar is no identifier.
bool readEvent(const PlistCFType& record, const QString& id, int number, _CalEvent* out)
{
    int calNumber = 0;
    if (!CalendarSyncRecords::parseId(firstString(record, "calendar"), nullptr, &calNumber))
        return false;
    _CalEvent e(number, calNumber, QString());
    e.summary = record.get(QStringLiteral("summary")).CFStringQString();
    const QString location = record.get(QStringLiteral("location")).CFStringQString();
    if (!location.isEmpty())
        e.summary += QLatin1Char('\n') + location;
    e.tz = record.get(QStringLiteral("start date.timezone")).CFStringQString();
    const int f = intValue(record, "floatingOffset");
    e.all_day = intValue(record, "all day");
    const PlistCFType start = record.get(QStringLiteral("start date"));
    const PlistCFType end = record.get(QStringLiteral("end date"));
    // The device's all-day events float: held in UTC like a backup's, they match it in every zone.
    const bool floating = e.all_day != 0 || e.isFloating();
    e.start_date = floating ? start.CFDateToUtcClock(f) : CalendarSyncRecords::wallClockDate(start, f);
    e.end_date = floating ? end.CFDateToUtcClock(f) : CalendarSyncRecords::wallClockDate(end, f);
    e.src_id = id;
    e.description = record.get(QStringLiteral("description")).CFStringQString();
    e.url = record.get(QStringLiteral("url")).CFStringQString();
    *out = e;
    return true;
}

} // namespace

bool CalendarSyncRecords::parseId(const QString& id, int* kind, int* number)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\-?\\d+)/(\\-?\\d+)$"));
    const QRegularExpressionMatch m = pattern.match(id);
    if (!m.hasMatch())
        return false;
    bool ok1 = false;
    bool ok2 = false;
    const int k = m.captured(1).toInt(&ok1);
    const int n = m.captured(2).toInt(&ok2);
    if (!ok1 || !ok2)
        return false;
    if (kind)
        *kind = k;
    if (number)
        *number = n;
    return true;
}

QDateTime CalendarSyncRecords::wallClockDate(const PlistCFType& date, int offsetSecs)
{
    // Taken from the stored clock reading itself: a local date-time in the repeated hour of an
    // autumn change cannot say which of the two hours it was.
    const QDateTime wall = date.CFDateToUtcClock(offsetSecs);
    return wall.isValid() ? QDateTime(wall.date(), wall.time(), Qt::LocalTime) : QDateTime();
}

void CalendarSyncRecords::readBatch(const PlistCFType& batch)
{
    for (const PlistCFType& key : batch.dict_keys()) {
        const QString id = key.CFStringQString();
        const PlistCFType record = batch.get(id);
        int kind = 0;
        int number = 0;
        if (!parseId(id, &kind, &number) || !record.isCFDictionary())
            continue;
        if (kind == 1) {
            _Calendar cal(number, record.get(QStringLiteral("title")).CFStringQString());
            cal.src_id = id;
            m_calendars.insert(number, cal);
        } else if (kind == 2) {
            _CalEvent e;
            if (readEvent(record, id, number, &e))
                m_events.insert(number, e);
        } else if (kind == 5) {
            int owner = 0;
            if (!parseId(firstString(record, "owner"), nullptr, &owner))
                continue;
            m_rules.insert(owner, ruleText(record));
        }
    }
}

QList<_Calendar> CalendarSyncRecords::join() const
{
    QMap<int, _CalEvent> events = m_events;
    for (auto it = m_rules.cbegin(); it != m_rules.cend(); ++it)
        if (events.contains(it.key()))
            events[it.key()].rrule = it.value();
    QMap<int, _Calendar> calendars = m_calendars;
    for (_CalEvent e : events) {
        auto cal = calendars.find(int(e.calendar_id));
        if (cal == calendars.end())
            continue;
        e.calendar_name = cal->name;
        cal->events.append(e);
    }
    return calendars.values();
}

void CalendarSyncRecords::splitSummary(
    const QString& summary, QString* title, QString* location, bool* hasLocation)
{
    const QStringList parts = summary.split(QLatin1Char('\n'));
    *hasLocation = parts.size() >= 2;
    if (!*hasLocation) {
        *title = summary;
        location->clear();
        return;
    }
    *title = parts.first();
    QString joined;
    for (int i = 1; i < parts.size(); ++i)
        joined += QLatin1Char(' ') + parts.at(i);
    *location = joined.trimmed();
}

PlistCFType CalendarSyncRecords::eventRecord(const _CalEvent& e, const QString& calendarSrcId)
{
    QString title;
    QString location;
    bool hasLocation = false;
    splitSummary(e.summary, &title, &location, &hasLocation);
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"),
        PlistCFType::createCFString(QStringLiteral("com.apple.calendars.Event")));
    r.put(QStringLiteral("start date"), PlistCFType::createCFDate(e.start_date));
    if (e.all_day != 0)
        r.put(QStringLiteral("all day"), PlistCFType::createCFNumberInt32(e.all_day));
    r.put(QStringLiteral("summary"), PlistCFType::createCFString(title));
    if (hasLocation)
        r.put(QStringLiteral("location"), PlistCFType::createCFString(location));
    r.put(QStringLiteral("end date"), PlistCFType::createCFDate(e.end_date));
    if (!e.description.isEmpty())
        r.put(QStringLiteral("description"), PlistCFType::createCFString(e.description));
    if (!e.url.isEmpty())
        r.put(QStringLiteral("url"), PlistCFType::createCFString(e.url));
    r.put(QStringLiteral("calendar"), stringArray(calendarSrcId));
    return r;
}

PlistCFType CalendarSyncRecords::recurrenceRecord(const _CalEvent& e, const QString& ownerId)
{
    const QMap<QString, QString> rule = e.ruleDict();
    if (!rule.contains(QStringLiteral("FREQ")))
        return PlistCFType();
    int interval = 1;
    if (rule.contains(QStringLiteral("INTERVAL")))
        interval = rule.value(QStringLiteral("INTERVAL")).toInt(); // 0 when not a number
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("frequency"),
        PlistCFType::createCFString(rule.value(QStringLiteral("FREQ")).toLower()));
    r.put(QStringLiteral("interval"), PlistCFType::createCFNumberInt32(interval));
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"),
        PlistCFType::createCFString(QStringLiteral("com.apple.calendars.Recurrence")));
    r.put(QStringLiteral("owner"), stringArray(ownerId));
    return r;
}
