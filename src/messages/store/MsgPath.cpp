#include "messages/store/MsgPath.h"

QString msgConfinedPath(const QDir& base, const QString& relative)
{
    if (relative.isEmpty() || QDir::isAbsolutePath(relative))
        return QString();
    const QString root = QDir::cleanPath(base.absolutePath());
    const QString full = QDir::cleanPath(root + QLatin1Char('/') + relative);
    if (!full.startsWith(root + QLatin1Char('/')))
        return QString();
    return full;
}
