#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

// Local times of message dates for the exports, many per second: the zone offset is looked up
// once per quarter of an hour instead of at every message (the system's lookup reads the zone
// file each time). Gives the same wall-clock times as dtFromDate21.
class ExportLocalTime
{
public:
    // Unix seconds of a model date (seconds since 2001), wrapping as the stored 32-bit dates do.
    static qint64 unixTime(int date21);

    // The local wall-clock time of a model date, held as a UTC value: for formatting only.
    QDateTime wallClock(int date21);
    // "yyyy-MM-dd hh:mm:ss" of the local time.
    QString stamp(int date21);

private:
    // Unix seconds of the local wall-clock time of a model date.
    qint64 localSeconds(int date21);

    QHash<qint64, int> m_offsets; // UTC offset in seconds by quarter hour
};
