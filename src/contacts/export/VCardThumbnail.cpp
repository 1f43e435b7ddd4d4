#include "contacts/export/VCardThumbnail.h"

#include "app/DataPaths.h"
#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "contacts/export/CardText.h"
#include "contacts/export/ContactEntityFormat.h"
#include "contacts/export/ContactPhoto.h"
#include "contacts/export/QVCardParser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QStandardPaths>

namespace
{
// A text value with its escapes resolved; a line break becomes a blank (the card draws one line).
QString unescaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            c = text.at(++i);
            if (c == QLatin1Char('n') || c == QLatin1Char('N'))
                c = QLatin1Char(' ');
        }
        out += c;
    }
    return out;
}

// A structured value (ORG, ADR): its non-empty fields joined by ", ".
QString fields(const QVCardParser::_Property& p)
{
    QStringList parts;
    for (const QString& f : p.values())
        if (!f.trimmed().isEmpty())
            parts.append(f.trimmed());
    return parts.join(QStringLiteral(", "));
}

struct CardEntry {
    QString label, value;
    bool singleLine;
    int pixelSize;
};

// The lines of the card in drawing order: the name a little larger, then title and organisation,
// birthday, up to four phones, the e-mail and the address.
QList<CardEntry> cardEntries(const ct_info& info, int fontSize)
{
    QList<CardEntry> list { { info.name, QString(), true, fontSize + fontSize / 7 } };
    if (!info.title.isEmpty() || !info.org.isEmpty())
        list.append({ (info.title + (info.org.isEmpty() ? QString() : QLatin1Char(' ') + info.org)).trimmed(),
            QString(), true, fontSize });
    if (!info.birthday.isEmpty())
        list.append(
            { QStringLiteral("Birthday:"), ContactEntityFormat::shortDate(info.birthday), false, fontSize });
    for (const QString& phone : info.phones.mid(0, 4))
        list.append({ QStringLiteral("Phone:"), phone, true, fontSize });
    if (!info.email.isEmpty())
        list.append({ QStringLiteral("E-Mail:"), info.email, true, fontSize });
    if (!info.address.isEmpty())
        list.append({ QStringLiteral("Address:"), info.address, false, fontSize });
    return list;
}

QString cacheKey(const QFileInfo& fi)
{
    // A changed file (size or modification time) gets a new image.
    return g_pathHash(fi.absoluteFilePath() + QLatin1Char('|') + QString::number(fi.size()) + QLatin1Char('|')
        + QString::number(fi.lastModified().toMSecsSinceEpoch()));
}
} // namespace

QString VCardThumbnail::cachePath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/quillmarrow-vcard-images");
}

QString VCardThumbnail::cacheDir()
{
    const QString dir = cachePath();
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

bool VCardThumbnail::readFirstCard(const QByteArray& bytes, ct_info& info)
{
    const QList<QVCardParser::Card> cards = QVCardParser::parse(bytes);
    if (cards.isEmpty())
        return false;
    for (const QVCardParser::_Property& p : cards.first()) {
        const QString n = p.name.toUpper();
        if (n == QLatin1String("FN"))
            info.name = unescaped(p.toString());
        else if (n == QLatin1String("BDAY"))
            info.birthday = p.toString();
        else if (n == QLatin1String("ADR"))
            info.address = fields(p);
        else if (n == QLatin1String("TEL"))
            info.phones.append(p.toString());
        else if (n == QLatin1String("EMAIL"))
            info.email = p.toString();
        else if (n == QLatin1String("TITLE"))
            info.title = unescaped(p.toString());
        else if (n == QLatin1String("ORG"))
            info.org = fields(p);
        else if (n == QLatin1String("PHOTO"))
            info.photo = p.value;
    }
    return true;
}

QImage VCardThumbnail::printContact(int width, int height, const ct_info& info)
{
    static const int fontSize = 11, lineSep = 1, pattern = 5, borderW = 1;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(219, 226, 237));
    painter.setPen(QPen(QBrush(QColor(185, 185, 187)), borderW, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawRect(QRect(0, 0, width - borderW, height - borderW));
    QImage photo = ContactPhoto::decode(info.photo);
    if (photo.isNull())
        photo = ContactPhoto::placeholder();
    if (!photo.isNull())
        painter.drawImage(
            QPoint(pattern, pattern), photo.scaled(47, 47, Qt::KeepAspectRatio, Qt::FastTransformation));
    painter.setPen(Qt::black);
    const int x = pattern + 47 + lineSep;
    const int w = width - x - pattern; // the whole width right of the photo
    QFont font = QGuiApplication::font();
    int y = pattern;
    for (const CardEntry& e : cardEntries(info, fontSize)) {
        font.setPixelSize(e.pixelSize);
        // An entry that would run past the bottom is not cut off unseen: "…" says there is more.
        const QList<CardText::Line> lines
            = CardText::layout(font, &image, x, y, w, e.label, e.value, e.singleLine);
        if (lines.last().rect.bottom() >= height) {
            font.setPixelSize(fontSize);
            painter.setFont(font);
            // Under the photo, where no text of the card stands.
            painter.drawText(QRect(pattern, 0, 47, height - borderW - 1), Qt::AlignLeft | Qt::AlignBottom,
                QStringLiteral("\u2026"));
            break;
        }
        y += CardText::drawLines(painter, lines, y) + lineSep;
    }
    painter.end();
    return image;
}

QString vcard_thumbnail(const QString& path, QString* why)
{
    const QFileInfo fi(path);
    if (!fi.isFile() || fi.size() > VCardThumbnail::kMaxVCardFile)
        return QString();
    const QString cachePath
        = QDir(VCardThumbnail::cacheDir()).absoluteFilePath(cacheKey(fi) + QStringLiteral(".jpg"));
    if (QFile::exists(cachePath))
        return cachePath;
    QFile file;
    if (!RegularFile::openRead(file, path, nullptr) || file.size() > VCardThumbnail::kMaxVCardFile)
        return QString();
    QByteArray bytes;
    QString failure;
    if (!RegularFile::readToEnd(file, &bytes, &failure)) {
        if (why)
            *why = QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(path), failure);
        return QString();
    }
    file.close();
    if (bytes.size() > VCardThumbnail::kMaxVCardFile) // it grew while it was read
        return QString();
    ct_info info;
    if (!VCardThumbnail::readFirstCard(bytes, info))
        return QString();
    const QImage image = VCardThumbnail::printContact(200, 90, info);
    if (image.isNull())
        return QString();
    // Written whole or not at all, so a half-written image is never reused.
    const WrittenDisks::Unnoted cached;
    OutputFile out(cachePath);
    if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "JPEG") || !out.commit())
        return QString();
    return cachePath;
}
