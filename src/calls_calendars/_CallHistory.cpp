#include "calls_calendars/_CallHistory.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace
{

void addLe32(QCryptographicHash& md5, qint32 value)
{
    uchar bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    md5.addData(QByteArrayView(reinterpret_cast<const char*>(bytes), 4));
}

} // namespace

qint64 callSecsSinceEpoch(const QDateTime& date)
{
    if (!date.isValid())
        return 0;
    return date.toMSecsSinceEpoch() / 1000; // C++ division truncates toward zero
}

QByteArray _CallHistory::toHash() const
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    addLe32(md5, qint32(quint32(quint64(callSecsSinceEpoch(date)) & 0xffffffffu)));
    md5.addData(address.toUtf8());
    addLe32(md5, qint32(flags));
    return md5.result().toHex();
}

bool compareCallByDateLess(const _CallHistory& a, const _CallHistory& b)
{
    return a.date > b.date;
}
