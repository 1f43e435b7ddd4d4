#include "app/CountText.h"

QString CountText::of(qint64 n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}
