#include "notes_media/ExtractNamer.h"

#include "app/DataPaths.h"

namespace
{

const int kMaxNameBytes = 255;

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

QString ExtractNamer::cleanName(const QString& name)
{
    QString clean = name;
    clean.remove(QChar(0));
    clean = g_formatFileName(clean);
    if (clean.isEmpty() || clean == QLatin1String("."))
        clean = QStringLiteral("_");
    else if (clean == QLatin1String(".."))
        clean = QStringLiteral("__");
    return cutToBytes(clean, kMaxNameBytes);
}

QString ExtractNamer::claimPath(const QString& folder, const QString& name, bool isFile)
{
    const QString clean = cleanName(name);
    QString path = folder + QLatin1Char('/') + clean;
    if (m_used.contains(path)) {
        const int dot = isFile ? int(clean.lastIndexOf(QLatin1Char('.'))) : -1;
        const QString stem = dot > 0 ? clean.left(dot) : clean;
        const QString ext = dot > 0 ? clean.mid(dot) : QString();
        for (int n = 2; m_used.contains(path); ++n) {
            const QString suffix = QStringLiteral(" (%1)").arg(n) + ext;
            path = folder + QLatin1Char('/') + cutToBytes(stem, kMaxNameBytes - int(suffix.toUtf8().size()))
                + suffix;
        }
    }
    m_used.insert(path);
    return path;
}
