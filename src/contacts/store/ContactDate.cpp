#include "contacts/store/ContactDate.h"

#include <cstdio>
#include <ctime>
#include <limits>

namespace
{
// Writes n as `width` decimal digits (n is known to fit).
char16_t* digits(char16_t* out, int n, int width)
{
    for (int i = width - 1; i >= 0; --i, n /= 10)
        out[i] = char16_t(u'0' + n % 10);
    return out + width;
}
} // namespace

QString ContactDate::textFromSecs2001(qint64 seconds)
{
    // The clock reading in UTC, the reading the device sync turns back into the same number: a
    // local reading would move a birthday by the zone's offset on every restore. The C library's
    // conversion is several times faster than Qt's on a big book.
    const time_t t = time_t(kEpoch2001 + seconds);
    struct tm local {
    };
    if (!gmtime_r(&t, &local))
        return QString();
    const int year = local.tm_year + 1900;
    if (year < 0 || year > 9999) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, local.tm_mon + 1,
            local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        return QString::fromLatin1(text);
    }
    // Four-digit years, the common case, without the cost of formatted printing.
    char16_t text[19];
    char16_t* p = digits(text, year, 4);
    *p++ = u'-';
    p = digits(p, local.tm_mon + 1, 2);
    *p++ = u'-';
    p = digits(p, local.tm_mday, 2);
    *p++ = u'T';
    p = digits(p, local.tm_hour, 2);
    *p++ = u':';
    p = digits(p, local.tm_min, 2);
    *p++ = u':';
    digits(p, local.tm_sec, 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}

QDateTime ContactDate::clockAsUtc(const QString& text)
{
    QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return QDateTime();
        dt = QDateTime(date, QTime(0, 0));
    }
    return QDateTime(dt.date(), dt.time(), Qt::UTC);
}

bool ContactDate::secs2001Fits32(const QDateTime& utcClock)
{
    if (!utcClock.isValid())
        return false;
    const qint64 s = utcClock.toSecsSinceEpoch() - kEpoch2001;
    return s >= std::numeric_limits<qint32>::min() && s <= std::numeric_limits<qint32>::max();
}
