#include "device/BackupPath.h"

#include <QFileInfo>

bool BackupPath::resolve(const QDir& root, const QString& path, QString* absolute)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || QDir::isAbsolutePath(path)
        || path.contains(QChar(0)))
        return false;
    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return false;
        parts.append(part);
    }
    if (parts.isEmpty())
        return false;

    QString current = QDir::cleanPath(root.absolutePath());
    bool checking = true;
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        if (!checking)
            continue;
        QFileInfo info(current);
        if (info.isSymLink())
            return false;
        if (!info.exists())
            checking = false; // nothing below a missing entry can be a link yet
    }
    if (absolute)
        *absolute = current;
    return true;
}
