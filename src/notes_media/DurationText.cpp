#include "notes_media/DurationText.h"

#include <cmath>

QString DurationText::format(double seconds)
{
    const qint64 s = std::isfinite(seconds) && seconds > 0 ? qint64(seconds) : 0;
    const QChar zero(u'0');
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, zero)
            .arg(s % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
}
