#include "app/StoredTime.h"

#include "app/sqlite/Sqlite3Cursor.h"

#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace
{

// Far beyond any date or duration, and far enough from the 64-bit limits that adding an epoch
// cannot overflow.
constexpr qint64 kMaxMagnitude = qint64(1) << 62;
// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z in seconds since 1970.
constexpr qint64 kFirstDate = -62135596800;
constexpr qint64 kLastDate = 253402300799;

} // namespace

std::optional<qint64> StoredTime::seconds(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > double(kMaxMagnitude))
        return std::nullopt;
    return qint64(std::floor(value));
}

std::optional<qint64> StoredTime::seconds(const Sqlite3Cursor& c, int column)
{
    switch (c.valueType(column)) {
    case SQLITE_INTEGER: {
        const qint64 v = c.getInt64(column);
        if (v > kMaxMagnitude || v < -kMaxMagnitude)
            return std::nullopt;
        return v;
    }
    case SQLITE_FLOAT:
        return seconds(c.getDouble(column));
    case SQLITE_TEXT: {
        bool ok = false;
        const double v = c.getTextUtf8(column).toByteArray().trimmed().toDouble(&ok);
        return ok ? seconds(v) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QDateTime StoredTime::date(std::optional<qint64> seconds, qint64 epoch)
{
    if (!seconds)
        return QDateTime();
    const qint64 since1970 = *seconds + epoch; // both within 2^62: no overflow
    if (since1970 < kFirstDate || since1970 > kLastDate)
        return QDateTime();
    return QDateTime::fromSecsSinceEpoch(since1970, Qt::UTC);
}

QDateTime StoredTime::date(const Sqlite3Cursor& c, int column, qint64 epoch)
{
    return date(seconds(c, column), epoch);
}

std::optional<int> StoredTime::duration(std::optional<qint64> s)
{
    if (!s || *s < 0 || *s > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*s);
}

std::optional<int> StoredTime::duration(const Sqlite3Cursor& c, int column)
{
    return duration(seconds(c, column));
}
