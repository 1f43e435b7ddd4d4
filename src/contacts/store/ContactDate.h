#pragma once

#include "app/MacEpoch.h"

#include <QDateTime>
#include <QString>

// The one conversion between the address book's and the device's date numbers (seconds from
// 2001-01-01 00:00:00 UTC, 64-bit, before 2001 negative) and the date text that entities hold
// (ISO 8601 date and time without zone, the UTC clock reading, so a date reads the same in every
// zone and goes back to the device unchanged).
class ContactDate
{
public:
    static constexpr qint64 kEpoch2001 = kMacEpochOffset; // 2001-01-01 00:00:00 UTC in Unix seconds

    // The UTC date-time text of seconds from 2001, e.g. "2001-01-01T00:00:00" for 0.
    static QString textFromSecs2001(qint64 seconds);
    // The clock reading of an entity's date text (a date alone is midnight), read as UTC; invalid
    // when the text is no ISO 8601 date or date-time.
    static QDateTime clockAsUtc(const QString& text);
    // Seconds from 2001 of that clock reading, and whether they fit a signed 32-bit count (the
    // range a sync record's date carries exactly).
    static bool secs2001Fits32(const QDateTime& utcClock);
};
