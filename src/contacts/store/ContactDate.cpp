#include "contacts/store/ContactDate.h"

#include <cstdio>
#include <ctime>
#include <limits>

QString ContactDate::textFromSecs2001(qint64 seconds)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(kEpoch2001 + seconds, Qt::UTC);
    const QDateTime local = utc.toLocalTime();
    return local.date().toString(Qt::ISODate) + QLatin1Char('T')
        + local.time().toString(QStringLiteral("HH:mm:ss"));
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
