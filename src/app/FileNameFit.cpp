#include "app/FileNameFit.h"

#include "app/DataPaths.h"

#include <QFileInfo>
#include <QStringList>

namespace
{

// An extension kept when a name is cut; a longer "extension" is just part of the name.
const int kMaxExtensionBytes = 64;

QString cutToBytes(QString text, int max)
{
    while (text.toUtf8().size() > max) {
        int n = int(text.size()) - 1;
        if (n > 0 && text.at(n - 1).isHighSurrogate())
            --n;
        text.truncate(n);
    }
    return text;
}

} // namespace

QString FileNameFit::extensionOf(const QString& name)
{
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    if (dot <= 0 || name.mid(dot).toUtf8().size() > kMaxExtensionBytes)
        return QString();
    return name.mid(dot);
}

QString FileNameFit::fitted(const QString& stem, const QString& tail, int maxBytes)
{
    return cutToBytes(stem, maxBytes - int(tail.toUtf8().size())) + tail;
}

QString FileNameFit::localName(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\:*?\"<>|\n\r\t");
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name)
        if (!forbidden.contains(c))
            kept.append(c);
    if (kept.isEmpty() && !name.isEmpty())
        return QStringLiteral("_");
    if (kept.toUtf8().size() <= kMaxNameBytes)
        return kept;
    const QString ext = extensionOf(kept);
    return fitted(kept.chopped(ext.size()), QLatin1Char('~') + g_pathHash(name).left(8) + ext);
}

QString FileNameFit::localPath(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'));
    for (QString& part : parts)
        part = localName(part);
    return parts.join(QLatin1Char('/'));
}

QString FileNameFit::freeName(const QString& given, const std::function<bool(const QString&)>& taken)
{
    QString name = given;
    if (name.toUtf8().size() > kMaxNameBytes) {
        const QString ext = extensionOf(name);
        name = fitted(name.chopped(ext.size()), ext);
    }
    if (!taken(name))
        return name;
    const QFileInfo info(name);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (qint64 n = 1;; ++n) {
        const QString candidate = fitted(info.baseName(), QStringLiteral("(%1)").arg(n) + suffix);
        if (!taken(candidate))
            return candidate;
    }
}
