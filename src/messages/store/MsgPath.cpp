#include "messages/store/MsgPath.h"

#include "app/FileNameFit.h"

#include <QFileInfo>
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
    QString rel = devicePath;
    rel.replace(leadSlash, QString());
    rel.replace(leadHome, QStringLiteral("var/mobile/"));
    // Named as the load of a backup names its copies.
    return msgConfinedPath(relay, FileNameFit::localPath(rel));
}

QString msgSourcePath(const QDir& folder, const QString& path)
{
    if (path.isEmpty())
        return path;
    const QFileInfo info(path);
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
        return info.isSymLink() ? QString() : path;
    const QString root = QFileInfo(folder.absolutePath()).canonicalFilePath();
    return !root.isEmpty() && target.startsWith(root + QLatin1Char('/')) ? path : QString();
}
