#include "messages/store/MsgPath.h"

#include "app/EarlierFileName.h"
#include "app/FileNameFit.h"
#include "app/KeptFileName.h"

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

QStringList msgRelayParts(const QDir& relay, const QString& devicePath)
{
    const QString confined = msgConfinedPath(relay, relayRelative(devicePath));
    if (confined.isEmpty())
        return {};
    return confined.mid(QDir::cleanPath(relay.absolutePath()).size() + 1).split(QLatin1Char('/'));
}

QString msgRelayPath(const QDir& relay, const QString& devicePath)
{
    // Named as the load of a backup and a save name their copies, each name where it stands.
    const QString rel = relayRelative(devicePath);
    if (FileNameFit::localPath(rel) == rel) {
        // The usual case: every name is kept as it is, the file's where no copy was set aside.
        const QString path = msgConfinedPath(relay, rel);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return path.isEmpty()
            ? path
            : path.left(slash + 1) + KeptFileName::standing(path.left(slash), path.mid(slash + 1));
    }
    const QStringList parts = msgRelayParts(relay, devicePath);
    if (parts.isEmpty())
        return QString();
    QString at = QDir::cleanPath(relay.absolutePath());
    for (const QString& part : parts)
        at += QLatin1Char('/') + KeptFileName::standing(at, part);
    return at;
}

QString msgEarlierRelayPath(const QDir& relay, const QString& devicePath)
{
    const QString rel = relayRelative(devicePath);
    const QString now = FileNameFit::localPath(rel);
    if (now == rel) // names today's rule keeps as they are the earlier one kept so too
        return QString();
    const QString earlier = msgConfinedPath(relay, EarlierFileName::localPath(rel));
    // Where it is its place now, by the phone's own names or the fitted ones, it is its own.
    QStringList own = rel.split(QLatin1Char('/'));
    for (QString& part : own)
        if (KeptFileName::plain(part).isEmpty())
            part = FileNameFit::localName(part);
    return earlier == msgConfinedPath(relay, now)
            || earlier == msgConfinedPath(relay, own.join(QLatin1Char('/')))
        ? QString()
        : earlier;
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
