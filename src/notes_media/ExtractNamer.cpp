#include "notes_media/ExtractNamer.h"

#include "app/DataPaths.h"
#include "app/FileNameFit.h"

#include <algorithm>

namespace
{

// The path with case folded fully, as disks that ignore case compare names: "Straße" is "STRASSE",
// a ligature its letters, a capital I with a dot an i with one. The upper case maps a letter to
// several where full folding does, which Qt's folding (one letter for one) never does.
QString foldedCase(const QString& path)
{
    // Most paths are Latin-1, composed and folded one letter for one but for the sharp s.
    const bool latin1 = std::all_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 0x100; });
    QString folded = latin1 ? path.toCaseFolded()
                            : path.normalized(QString::NormalizationForm_D)
                                  .toUpper()
                                  .toLower()
                                  .toCaseFolded()
                                  .normalized(QString::NormalizationForm_C);
    // The sharp s folds to "ss"; its capital lowers to it.
    return folded.replace(QChar(0xDF), QLatin1String("ss"));
}

// The key as a disk that ignores a name's trailing dots and spaces stores it.
QString withoutTrailingDots(QString key)
{
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
    clean = FileNameFit::markedIfChanged(name, clean);
    const QString ext = FileNameFit::extensionOf(clean);
    return FileNameFit::fitted(clean.chopped(ext.size()), ext);
}

// Paths with one key are one entry on a disk that ignores case, composition or a name's trailing
// dots and spaces. The folding of a path is that of its parts ("/" neither composes nor changes
// case), so a folder's is folded once, when it is claimed or first named.
QString ExtractNamer::claimPath(const QString& folder, const QString& name, bool isFile)
{
    const QString& folderKey = keyOfFolder(folder);
    QString clean = cleanName(name);
    QString folded = folderKey + QLatin1Char('/') + foldedCase(clean);
    QString key = withoutTrailingDots(folded);
    if (m_used.contains(key)) {
        const QString ext = isFile ? FileNameFit::extensionOf(clean) : QString();
        const QString stem = clean.chopped(ext.size());
        const QSet<QString>& owned = ownedKeys(folderKey);
        for (int n = 2; m_used.contains(key) || owned.contains(key); ++n) {
            clean = FileNameFit::fitted(stem, QStringLiteral(" (%1)").arg(n) + ext);
            folded = folderKey + QLatin1Char('/') + foldedCase(clean);
            key = withoutTrailingDots(folded);
        }
    }
    m_used.insert(key);
    const QString path = folder + QLatin1Char('/') + clean;
    if (!isFile)
        m_folderKeys.insert(path, folded);
    return path;
}

// Only the name is kept: a tree's folders hold hundreds of thousands of entries to come in all,
// and folding each would cost more than the copies of most of them.
void ExtractNamer::reserve(const QString& folder, const QString& name)
{
    m_owned[keyOfFolder(folder)].names.append(name);
}

void ExtractNamer::forget(const QString& folder)
{
    m_owned.remove(keyOfFolder(folder));
}

const QSet<QString>& ExtractNamer::ownedKeys(const QString& folderKey)
{
    static const QSet<QString> none;
    auto it = m_owned.find(folderKey);
    if (it == m_owned.end())
        return none;
    for (const QString& name : std::as_const(it->names))
        it->keys.insert(withoutTrailingDots(folderKey + QLatin1Char('/') + foldedCase(cleanName(name))));
    it->names.clear();
    return it->keys;
}

const QString& ExtractNamer::keyOfFolder(const QString& folder)
{
    auto it = m_folderKeys.constFind(folder);
    if (it == m_folderKeys.constEnd())
        it = m_folderKeys.insert(folder, foldedCase(folder));
    return *it;
}
