#include "messages/ui/ExportLocalTime.h"

#include "app/MacEpoch.h"

namespace
{
constexpr qint64 kBucket = 900; // zone changes fall on quarter hours

void appendNumber(QString& out, int value, int width)
{
    const QString digits = QString::number(value);
    for (qsizetype i = digits.size(); i < width; ++i)
        out += QLatin1Char('0');
    out += digits;
}
} // namespace

qint64 ExportLocalTime::unixTime(int date21)
{
    return qint64(quint32(date21) + quint32(kMacEpochOffset));
}

QDateTime ExportLocalTime::wallClock(int date21)
{
    const qint64 t = unixTime(date21);
    const qint64 bucket = t >= 0 ? t / kBucket : (t - kBucket + 1) / kBucket;
    auto it = m_offsets.constFind(bucket);
    if (it == m_offsets.constEnd())
        it = m_offsets.insert(bucket, QDateTime::fromSecsSinceEpoch(t).toLocalTime().offsetFromUtc());
    return QDateTime::fromSecsSinceEpoch(t + *it, Qt::UTC);
}

QString ExportLocalTime::stamp(int date21)
{
    const QDateTime dt = wallClock(date21);
    const QDate d = dt.date();
    const QTime tm = dt.time();
    QString out;
    out.reserve(19);
    appendNumber(out, d.year(), 4);
    out += QLatin1Char('-');
    appendNumber(out, d.month(), 2);
    out += QLatin1Char('-');
    appendNumber(out, d.day(), 2);
    out += QLatin1Char(' ');
    appendNumber(out, tm.hour(), 2);
    out += QLatin1Char(':');
    appendNumber(out, tm.minute(), 2);
    out += QLatin1Char(':');
    appendNumber(out, tm.second(), 2);
    return out;
}
