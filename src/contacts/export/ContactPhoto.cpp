#include "contacts/export/ContactPhoto.h"

#include <QBuffer>
#include <QImageReader>

namespace
{
QImage decodeAs(const QByteArray& bytes, const char* format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > ContactPhoto::kMaxSide || size.height() > ContactPhoto::kMaxSide
        || qint64(size.width()) * size.height() > ContactPhoto::kMaxPixels)
        return QImage();
    return reader.read();
}
} // namespace

QImage ContactPhoto::decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    // One reader, chosen by the signature: neither reads the other's bytes, and the PNG reader
    // given anything else prints "libpng error: Not a PNG file" while it reads the size.
    return decodeAs(bytes, suffixOf(bytes) == QLatin1String("png") ? "PNG" : "JPEG");
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
