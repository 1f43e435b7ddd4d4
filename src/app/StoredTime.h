#pragma once

#include <QDateTime>
#include <optional>

class Sqlite3Cursor;

// The one checked conversion from the numbers that databases keep for dates and durations. A
// value that is NULL, not a number, or beyond what a date or a duration can be is "no value": a
// null date, an empty duration, shown and stored again as absent rather than as a wrapped number.
class StoredTime
{
public:
    // Whole seconds (rounded down) that a column holds as an integer, a real or a number written
    // as text; none for NULL, a blob, other text, NaN and magnitudes beyond 2^62.
    static std::optional<qint64> seconds(const Sqlite3Cursor& c, int column);
    // The UTC date `seconds` after an epoch given in seconds since 1970; a null date for no value
    // and for a date outside the years 1 to 9999.
    static QDateTime date(std::optional<qint64> seconds, qint64 epoch);
    static QDateTime date(const Sqlite3Cursor& c, int column, qint64 epoch);
    // Whole seconds (rounded down) of a number already read; none for NaN, infinities and
    // magnitudes beyond 2^62.
    static std::optional<qint64> seconds(double value);
    // A duration in whole seconds; none for no value and for one below 0 or beyond 2^31 - 1.
    static std::optional<int> duration(std::optional<qint64> seconds);
    static std::optional<int> duration(const Sqlite3Cursor& c, int column);
};
