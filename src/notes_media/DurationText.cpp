#include "notes_media/DurationText.h"

#include "app/StoredTime.h"

QString DurationText::format(double seconds)
{
    const std::optional<int> length = StoredTime::duration(StoredTime::seconds(seconds));
    if (!length)
        return QString();
    const int s = *length;
    const QChar zero(u'0');
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, zero)
            .arg(s % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, zero);
}
