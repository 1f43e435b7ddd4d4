#include "app/FileNameFit.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace
{

// An extension kept when a name is cut; a longer "extension" is just part of the name.
const int kMaxExtensionBytes = 64;
// Hex digits of the mark: 128 bits, more than any search for two names of one mark can reach.
const int kMarkDigits = 32;

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

bool dropped(QChar c, bool asciiOnly)
{
    static const QString forbidden = QStringLiteral("\\:*?\"<>|");
    return c.unicode() < 0x20 || forbidden.contains(c) || (asciiOnly && c.unicode() > 0x7E);
}

// Whether the part before the first dot is a name Windows keeps for a device; NTFS disks mounted
// as desktops mount them refuse such names, with any extension.
bool isDeviceName(const QString& name)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QStringView stem = QStringView(name).left(dot < 0 ? name.size() : dot);
    if (stem.size() == 4) {
        const QChar n = stem.at(3);
        return n >= QLatin1Char('1') && n <= QLatin1Char('9')
            && (stem.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0
                || stem.left(3).compare(QLatin1String("LPT"), Qt::CaseInsensitive) == 0);
    }
    if (stem.size() != 3)
        return false;
    for (const char* device : { "CON", "PRN", "AUX", "NUL" })
        if (stem.compare(QLatin1String(device), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Whether name holds what a mark looks like, so that it could be taken for another's marked name.
bool looksMarked(const QString& name)
{
    static const QRegularExpression mark(QStringLiteral("~[0-9a-f]{%1}").arg(kMarkDigits));
    return name.contains(QLatin1Char('~')) && name.contains(mark);
}

QString markOf(const QString& name)
{
    const QByteArray sum = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256);
    return QLatin1Char('~') + QString::fromLatin1(sum.toHex().left(kMarkDigits));
}

// Whether fit() keeps name as it is, told without making anything: most names are.
bool keptAsIs(const QString& name, bool asciiOnly)
{
    for (const QChar c : name)
        if (dropped(c, asciiOnly) || c == QLatin1Char('~'))
            return false; // a '~' may be part of what looks like a mark: judged in full
    const QChar last = name.back();
    if (last == QLatin1Char('.') || last == QLatin1Char(' ') || isDeviceName(name))
        return false;
    return name.size() * 3 <= FileNameFit::kMaxNameBytes
        || name.toUtf8().size() <= FileNameFit::kMaxNameBytes;
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
    return fit(name, false);
}

QString FileNameFit::asciiName(const QString& name)
{
    return fit(name, true);
}

QString FileNameFit::fit(const QString& name, bool asciiOnly)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return name;
    if (keptAsIs(name, asciiOnly))
        return name;
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name)
        if (!dropped(c, asciiOnly))
            kept.append(c);
    while (kept.endsWith(QLatin1Char('.')) || kept.endsWith(QLatin1Char(' ')))
        kept.chop(1);
    // What is left of a name is never a hidden one, nor nothing.
    if (kept.isEmpty() || (kept.startsWith(QLatin1Char('.')) && !name.startsWith(QLatin1Char('.'))))
        kept.prepend(QLatin1Char('_'));
    const bool device = isDeviceName(kept);
    if (kept == name && !device && kept.toUtf8().size() <= kMaxNameBytes && !looksMarked(name))
        return name;
    const QString mark = markOf(name);
    const qsizetype dot = kept.indexOf(QLatin1Char('.'));
    if (device) // the mark right after the device's name: "AUX~....tar.gz"
        kept.insert(dot < 0 ? kept.size() : dot, mark);
    const QString ext = extensionOf(kept);
    return fitted(kept.chopped(ext.size()), (device ? QString() : mark) + ext);
}

QString FileNameFit::markedIfChanged(const QString& given, const QString& made)
{
    if (made == given && !looksMarked(given))
        return made;
    const QString ext = extensionOf(made);
    return fitted(made.chopped(ext.size()), markOf(given) + ext);
}

QString FileNameFit::marked(const QString& name)
{
    const QString ext = extensionOf(name);
    return fitted(name.chopped(ext.size()), markOf(name) + ext);
}

QString FileNameFit::shortName(const QString& name)
{
    QString kept = asciiName(name);
    const QString mark = markOf(name);
    kept.remove(mark);
    QString ext = extensionOf(kept);
    if (ext.size() > 16)
        ext.clear();
    return fitted(kept.chopped(ext.size()), mark + ext, kMaxShortBytes);
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
