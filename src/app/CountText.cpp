#include "app/CountText.h"

QString CountText::of(qint64 n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}

QStringList CountText::listed(qint64 n, const QString& one, const QString& many, const QStringList& named)
{
    QStringList lines { of(n, one, many) };
    lines << named;
    if (n > named.size())
        lines << QStringLiteral("... and %1 more.").arg(n - named.size());
    return lines;
}
