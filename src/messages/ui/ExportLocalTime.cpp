#include "messages/ui/ExportLocalTime.h"

#include "app/MacEpoch.h"

namespace
{
constexpr qint64 kBucket = 900; // zone changes fall on quarter hours
constexpr qint64 kDay = 86400;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : (a - b + 1) / b;
}

// Writes value as width decimal digits (zero-padded) at out.
char16_t* putDigits(char16_t* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char16_t(u'0' + value % 10);
    return out + width;
}

// Year, month and day of a count of days since 1970-01-01 in the proleptic Gregorian calendar (as
// QDate counts), by whole 400-year eras.
void civilFromDays(qint64 days, int& year, int& month, int& day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}
} // namespace

qint64 ExportLocalTime::unixTime(int date21)
{
    return qint64(quint32(date21) + quint32(kMacEpochOffset));
}

QDateTime ExportLocalTime::wallClock(int date21)
{
    return QDateTime::fromSecsSinceEpoch(localSeconds(date21), Qt::UTC);
}

qint64 ExportLocalTime::localSeconds(int date21)
{
    const qint64 t = unixTime(date21);
    const qint64 day = floorDiv(t, kDay);
    if (day != m_day) {
        auto it = m_dayOffsets.constFind(day);
        if (it == m_dayOffsets.constEnd()) {
            // A day whose first and last second have the same offset has no change in it (zones
            // change at most once a day); a day with a change is looked up by quarter hours.
            const int first = offsetAt(day * kDay);
            it = m_dayOffsets.insert(day, first == offsetAt(day * kDay + kDay - 1) ? first : kChanging);
        }
        m_day = day;
        m_dayOffset = *it;
    }
    if (m_dayOffset != kChanging)
        return t + m_dayOffset;
    const qint64 bucket = floorDiv(t, kBucket);
    auto it = m_offsets.constFind(bucket);
    if (it == m_offsets.constEnd())
        it = m_offsets.insert(bucket, offsetAt(t));
    return t + *it;
}

int ExportLocalTime::offsetAt(qint64 unixSeconds)
{
    return QDateTime::fromSecsSinceEpoch(unixSeconds).toLocalTime().offsetFromUtc();
}

QString ExportLocalTime::stamp(int date21)
{
    // Worked out in integers: one export formats a date per message.
    const Fields f = fields(date21);
    char16_t text[19];
    char16_t* p = putDigits(text, f.year, 4);
    *p++ = u'-';
    p = putDigits(p, f.month, 2);
    *p++ = u'-';
    p = putDigits(p, f.day, 2);
    *p++ = u' ';
    p = putDigits(p, f.hour, 2);
    *p++ = u':';
    p = putDigits(p, f.minute, 2);
    *p++ = u':';
    putDigits(p, f.second, 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}

QString ExportLocalTime::minuteText(int date21)
{
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const Fields f = fields(date21);
    char16_t text[20];
    char16_t* p = putDigits(text, f.day, 2);
    *p++ = u' ';
    for (int i = 0; i < 3; ++i)
        *p++ = char16_t(kMonths[(f.month - 1) * 3 + i]);
    *p++ = u' ';
    p = putDigits(p, f.year, 4);
    *p++ = u' ';
    // Twelve-hour clock: 0 and 12 read 12.
    p = putDigits(p, f.hour % 12 == 0 ? 12 : f.hour % 12, 2);
    *p++ = u':';
    p = putDigits(p, f.minute, 2);
    *p++ = u' ';
    *p++ = f.hour < 12 ? u'A' : u'P';
    *p++ = u'M';
    return QString(reinterpret_cast<const QChar*>(text), p - text);
}

ExportLocalTime::Fields ExportLocalTime::fields(int date21)
{
    const qint64 local = localSeconds(date21);
    const qint64 days = floorDiv(local, kDay);
    const int secs = int(local - days * kDay);
    Fields f;
    civilFromDays(days, f.year, f.month, f.day);
    f.hour = secs / 3600;
    f.minute = secs / 60 % 60;
    f.second = secs % 60;
    return f;
}
