#include "app/EarlierFileName.h"

#include "app/DataPaths.h"
#include "app/FileNameFit.h"

#include <QStringList>

QString EarlierFileName::localName(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\:*?\"<>|\n\r\t");
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name)
        if (!forbidden.contains(c))
            kept.append(c);
    if (kept.isEmpty() && !name.isEmpty())
        return QStringLiteral("_");
    if (kept.toUtf8().size() <= FileNameFit::kMaxNameBytes)
        return kept;
    const QString ext = FileNameFit::extensionOf(kept);
    return FileNameFit::fitted(kept.chopped(ext.size()), QLatin1Char('~') + g_pathHash(name).left(8) + ext);
}

QString EarlierFileName::localPath(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'));
    for (QString& part : parts)
        part = localName(part);
    return parts.join(QLatin1Char('/'));
}
