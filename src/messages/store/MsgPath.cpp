#include "messages/store/MsgPath.h"

#include <QRegularExpression>

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

QString msgRelayPath(const QDir& relay, const QString& devicePath)
{
    static const QRegularExpression leadSlash(QStringLiteral("^/"));
    static const QRegularExpression leadHome(QStringLiteral("^~/"));
    static const QRegularExpression badChars(QStringLiteral("[\\\\:*?\"<>|\\n\\r\\t]"));
    QString rel = devicePath;
    rel.replace(leadSlash, QString());
    rel.replace(leadHome, QStringLiteral("var/mobile/"));
    rel.replace(badChars, QString());
    return msgConfinedPath(relay, rel);
}
