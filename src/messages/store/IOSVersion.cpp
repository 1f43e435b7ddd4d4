#include "messages/store/IOSVersion.h"

#include <QRegularExpression>
#include <QStringList>

_IOSVersion::_IOSVersion(const QString& text)
{
    static const QRegularExpression rx(QStringLiteral("\\.?(\\d+)"));
    auto it = rx.globalMatch(text);
    while (it.hasNext()) {
        bool ok = false;
        const int v = it.next().captured(1).toInt(&ok, 10);
        _parts << (ok ? v : 0);
    }
}

int _IOSVersion::compare(const _IOSVersion& other) const
{
    const int n = qMin(_parts.size(), other._parts.size());
    for (int i = 0; i < n; ++i)
        if (_parts[i] != other._parts[i])
            return _parts[i] - other._parts[i];
    return int(_parts.size() - other._parts.size());
}

QString _IOSVersion::toString() const
{
    QStringList s;
    for (int p : _parts)
        s << QString::number(p);
    return s.join('.');
}
