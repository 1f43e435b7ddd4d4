#include "contacts/export/ContactPhoto.h"

#include "app/PictureDecoder.h"

QImage ContactPhoto::decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    // One reader, chosen by the signature: neither reads the other's bytes, and the PNG reader
    // given anything else prints "libpng error: Not a PNG file" while it reads the size.
    const char* format = suffixOf(bytes) == QLatin1String("png") ? "PNG" : "JPEG";
    return PictureDecoder::decodeWhole(bytes, format, kMaxSide, kMaxPixels).image;
}

QString ContactPhoto::suffixOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("png");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("gif");
    return QStringLiteral("jpg");
}

QImage ContactPhoto::placeholder()
{
    return QImage(QStringLiteral(":/res/empty_contact.png"));
}
