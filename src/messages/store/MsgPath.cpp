#include "messages/store/MsgPath.h"

#include "app/EarlierFileName.h"
#include "app/FileNameFit.h"

#include <QFileInfo>

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

namespace
{
// A device path ("/var/mobile/..." or "~/...") as the relay folder holds it, before its names are fitted.
QString relayRelative(const QString& devicePath)
{
    QString rel = devicePath.startsWith(QLatin1Char('/')) ? devicePath.mid(1) : devicePath;
    if (rel.startsWith(QLatin1String("~/")))
        rel.replace(0, 2, QStringLiteral("var/mobile/"));
    return rel;
}
} // namespace

QString msgRelayPath(const QDir& relay, const QString& devicePath)
{
    // Named as the load of a backup names its copies.
    return msgConfinedPath(relay, FileNameFit::localPath(relayRelative(devicePath)));
}

QString msgEarlierRelayPath(const QDir& relay, const QString& devicePath)
{
    const QString rel = relayRelative(devicePath);
    const QString now = FileNameFit::localPath(rel);
    if (now == rel) // names today's rule keeps as they are the earlier one kept so too
        return QString();
    const QString earlier = msgConfinedPath(relay, EarlierFileName::localPath(rel));
    return earlier == msgConfinedPath(relay, now) ? QString() : earlier;
}

QString msgSourcePath(const QDir& folder, const QString& path, bool* absent)
{
    if (path.isEmpty())
        return path;
    const QFileInfo info(path);
    const QString target = info.canonicalFilePath();
    if (target.isEmpty()) {
        const bool link = info.isSymLink();
        if (absent)
            *absent = !link;
        return link ? QString() : path;
    }
    const QString root = QFileInfo(folder.absolutePath()).canonicalFilePath();
    return !root.isEmpty() && target.startsWith(root + QLatin1Char('/')) ? path : QString();
}
