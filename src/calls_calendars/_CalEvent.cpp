#include "calls_calendars/_CalEvent.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QtEndian>

QDateTime _CalEvent::dateFromSecs(qint64 secs, bool floating)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
    return floating ? utc : utc.toLocalTime();
}

QString _CalEvent::title() const
{
    const qsizetype lf = summary.indexOf(QLatin1Char('\n'));
    return lf < 0 ? summary : summary.left(lf);
}

QByteArray _CalEvent::toHash() const
{
    const qint64 secs = start_date.isValid() ? start_date.toMSecsSinceEpoch() / 1000 : 0;
    uchar bytes[4];
    qToLittleEndian<quint32>(quint32(quint64(secs) & 0xffffffffu), bytes);
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(QByteArrayView(reinterpret_cast<const char*>(bytes), 4));
    md5.addData(title().toUtf8());
    return md5.result().toHex();
}

QMap<QString, QString> _CalEvent::ruleDict() const
{
    static const QRegularExpression pair(QStringLiteral("([^;=]+)=([^;=]+);?"));
    QMap<QString, QString> map;
    auto it = pair.globalMatch(rrule);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        map.insert(m.captured(1).toUpper(), m.captured(2).toUpper());
    }
    return map;
}

bool compareCalEventLess(const _CalEvent& a, const _CalEvent& b)
{
    return a.start_date > b.start_date;
}
