#include "support/NameMark.h"

#include <QCryptographicHash>

QString nameMark(const QString& name)
{
    return QLatin1Char('~')
        + QString::fromLatin1(
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

QString earlierNameMark(const QString& name)
{
    return QLatin1Char('~')
        + QString::fromLatin1(
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex().left(8));
}
