#include "messages/ui/ExportFileNames.h"

#include <utility>

namespace
{
// Bytes kept free for a number "(n)" after the stem.
constexpr int kNumberReserve = 12;
constexpr int kNameLimit = 255;
} // namespace

QString g_capUtf8(const QString& stem, int maxBytes)
{
    if (stem.toUtf8().size() <= maxBytes)
        return stem;
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < stem.size(); ++i) {
        qsizetype len = 1;
        if (stem.at(i).isHighSurrogate() && i + 1 < stem.size() && stem.at(i + 1).isLowSurrogate())
            len = 2;
        const int size = int(stem.mid(i, len).toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        out += stem.mid(i, len);
        bytes += size;
        i += len - 1;
    }
    while (!out.isEmpty() && out.back().isSpace())
        out.chop(1);
    return out;
}

ExportFileNames::ExportFileNames(HeldFolder folder)
    : m_folder(std::move(folder))
{
}

QString ExportFileNames::take(const QString& stem, const QString& ext)
{
    const QString base = g_capUtf8(stem, kNameLimit - kNumberReserve - int(ext.toUtf8().size()));
    QString name = base + ext;
    for (int n = 2; m_taken.contains(name.toLower()) || m_folder.has(name); ++n)
        name = QStringLiteral("%1(%2)%3").arg(base).arg(n).arg(ext);
    m_taken.insert(name.toLower());
    return name;
}
