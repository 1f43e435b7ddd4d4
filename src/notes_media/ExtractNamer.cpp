#include "notes_media/ExtractNamer.h"

#include "app/DataPaths.h"

namespace
{

const int kMaxNameBytes = 255;
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

// The stem cut so that stem and tail together stay within max bytes.
QString fitName(const QString& stem, const QString& tail)
{
    return cutToBytes(stem, kMaxNameBytes - int(tail.toUtf8().size())) + tail;
}

// A file's extension, from its last dot on; empty for none, a leading dot only, or one too long
// to leave room for a name before it.
QString extensionOf(const QString& name)
{
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    if (dot <= 0 || name.mid(dot).toUtf8().size() > kMaxExtensionBytes)
        return QString();
    return name.mid(dot);
}

// The path as a disk that ignores case, composition or a name's trailing dots and spaces stores
// it: two paths with one key are one entry there.
QString sameEntryKey(const QString& path)
{
    QString key = path.normalized(QString::NormalizationForm_C).toCaseFolded();
    while (key.size() > 1 && (key.endsWith(QLatin1Char('.')) || key.endsWith(QLatin1Char(' ')))
        && key.at(key.size() - 2) != QLatin1Char('/'))
        key.chop(1);
    return key;
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
    const QString ext = extensionOf(clean);
    return fitName(clean.chopped(ext.size()), ext);
}

QString ExtractNamer::claimPath(const QString& folder, const QString& name, bool isFile)
{
    const QString clean = cleanName(name);
    QString path = folder + QLatin1Char('/') + clean;
    QString key = sameEntryKey(path);
    if (m_used.contains(key)) {
        const QString ext = isFile ? extensionOf(clean) : QString();
        const QString stem = clean.chopped(ext.size());
        for (int n = 2; m_used.contains(key); ++n) {
            path = folder + QLatin1Char('/') + fitName(stem, QStringLiteral(" (%1)").arg(n) + ext);
            key = sameEntryKey(path);
        }
    }
    m_used.insert(key);
    return path;
}
