#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class HeifLibrary;
class QFile;
class QIODevice;

// Small pictures of photos and picture attachments: JPEG, PNG and the other formats Qt reads, and
// HEIC/HEIF through libheif, loaded when the first one is decoded. The picture's size is read from
// its header first: pictures too large to decode safely are refused, and a large one is decoded
// scaled where its format allows (JPEG), so it never exists at full size. Safe on any thread.
class PictureDecoder
{
public:
    // The largest picture a phone keeps, by side and by pixels, and the largest file worth reading.
    static constexpr int kMaxSide = 16384;
    static constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
    static constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;

    // The picture scaled down to fit box (never scaled up), or a null image when the bytes are no
    // picture this program reads or the picture is too large. HEIF pictures are decoded with heif,
    // or with HeifLibrary::shared() when heif is null; without libheif they give the null image.
    static QImage fromBytes(const QByteArray& bytes, const QSize& box, const HeifLibrary* heif = nullptr);
    // The same for the picture in file (open for reading, at its start), read as the decoder asks
    // for it rather than whole: what it costs follows the picture's pixels, never the file's size.
    // A file larger than kMaxFileBytes is not read at all. When a read fails, *why is set to the
    // system's reason and the image is null: what a failing disk gave is never drawn in part.
    static QImage fromFile(QFile& file, const QSize& box, QString* why, const HeifLibrary* heif = nullptr);
    // Whether the bytes (the first twelve of a file suffice) start like a HEIF file (ISO media with
    // a HEIF brand).
    static bool isHeif(const QByteArray& head);
    // How many pictures have been decoded in this process.
    static qint64 decodeCount();

private:
    static bool sizeAllowed(const QSize& size);
    static QImage fromQt(QIODevice& in, const QSize& box);
    static QImage fromHeif(
        QIODevice* file, const QByteArray& bytes, const QSize& box, const HeifLibrary& heif);
};
