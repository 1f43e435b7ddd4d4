#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <limits>

// Local times of message dates for the exports, many per second: the zone offset is looked up
// once per day, or per quarter of an hour on a day the offset changes, instead of at every message
// (the system's lookup reads the zone file each time). Gives the same wall-clock times as dtFromDate21.
class ExportLocalTime
{
public:
    // Unix seconds of a model date (seconds since 2001), wrapping as the stored 32-bit dates do.
    static qint64 unixTime(int date21);

    // The local wall-clock time of a model date, held as a UTC value: for formatting only.
    QDateTime wallClock(int date21);
    // "yyyy-MM-dd hh:mm:ss" of the local time.
    QString stamp(int date21);
    // "dd MMM yyyy hh:mm AP" of the local time, as QDateTime::toString gives it (English month
    // names, twelve-hour clock).
    QString minuteText(int date21);

private:
    struct Fields {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    };
    Fields fields(int date21);
    // Unix seconds of the local wall-clock time of a model date.
    qint64 localSeconds(int date21);
    static int offsetAt(qint64 unixSeconds);

    static constexpr int kChanging = std::numeric_limits<int>::min();
    QHash<qint64, int> m_dayOffsets; // UTC offset in seconds by UTC day, or kChanging
    QHash<qint64, int> m_offsets; // UTC offset in seconds by quarter hour, in days with a change
    qint64 m_day = std::numeric_limits<qint64>::min(); // the day looked up last, and its offset
    int m_dayOffset = 0;
};
