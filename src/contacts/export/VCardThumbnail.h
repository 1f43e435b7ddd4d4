#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// The card image of a vCard file (a message attachment): 200 x 90 pixels with the first card's
// photo, name, job title and company, birthday, up to four phones, e-mail and address, saved as
// JPEG in a private cache folder and reused while the file is unchanged. Any thread; needs a
// QGuiApplication for its font.
struct ct_info {
    QByteArray photo;
    QString name;
    QString title;
    QString org;
    QString birthday;
    QString email;
    QString address;
    QStringList phones;
};

// The path of the card image, or empty when the file cannot be opened, holds no card or is larger
// than kMaxVCardFile. No card is drawn from a file whose read fails part-way: why then says so
// ("Cannot read <path>. <the system's reason>").
QString vcard_thumbnail(const QString& path, QString* why = nullptr);

namespace VCardThumbnail
{
constexpr qint64 kMaxVCardFile = 16 * 1024 * 1024;
// The folder of the card images (made private to the user on first use).
QString cacheDir();
// Its path, nothing made.
QString cachePath();
// The fields of the first card of the bytes; false when they hold no card.
bool readFirstCard(const QByteArray& bytes, ct_info& info);
// The drawn card.
QImage printContact(int width, int height, const ct_info& info);
} // namespace VCardThumbnail
