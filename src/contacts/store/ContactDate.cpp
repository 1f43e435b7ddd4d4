#include "contacts/store/ContactDate.h"

#include <cstdio>
#include <ctime>
#include <limits>

QString ContactDate::textFromSecs2001(qint64 seconds)
{
    // The C library's local time: the same reading as Qt's, several times faster on a big book.
    const time_t t = time_t(kEpoch2001 + seconds);
    struct tm local {
    };
    if (!localtime_r(&t, &local))
        return QString();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text);
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
