#include "messages/store/CountryInfo.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QStringList>

namespace {
// Patterns are compiled once per text; records are copied freely, so the cache is shared.
QRegularExpression compiled(const QString& pattern)
{
    static QMutex mutex;
    static QHash<QString, QRegularExpression> cache;
    QMutexLocker lock(&mutex);
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(pattern));
    return *it;
}
} // namespace

bool _CountryInfo::_isMatch(const QString& number) const
{
    if (r1.isEmpty())
        return false;
    // r1 is "^...$": wrap the pattern in a group so an alternation must cover the whole number.
    QString inner = r1;
    if (inner.startsWith('^'))
        inner.remove(0, 1);
    if (inner.endsWith('$') && !inner.endsWith(QLatin1String("\\$")))
        inner.chop(1);
    const QRegularExpression rx = compiled(QStringLiteral("\\A(?:%1)\\z").arg(inner));
    return rx.match(number).hasMatch();
}

bool _CountryInfo::_isLengthValid(int length) const
{
    const QStringList parts = numc.split(',', Qt::KeepEmptyParts);
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok, 10);
        if ((ok ? v : 0) == length)
            return true;
    }
    return false;
}

QString _CountryInfo::formatNumber(const QString& number) const
{
    static const QRegularExpression letters(QStringLiteral("[a-zA-Z@]"));
    static const QRegularExpression notDigit(QStringLiteral("[^0-9+]"));
    if (number.contains(letters))
        return number.toLower();
    QString num = number;
    num.remove(notDigit);
    if (num.contains('+'))
        return num;
    const int len = num.size();
    if (_isLengthValid(len) && _isMatch(num))
        return QStringLiteral("+") + pnum + num;
    if (num.startsWith('0') && _isLengthValid(len - 1) && _isMatch(num.mid(1)))
        return QStringLiteral("+") + pnum + num.mid(1);
    if (num.startsWith(pnum) && _isLengthValid(len - pnum.size()))
        return QStringLiteral("+") + num;
    return num;
}
