#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

class DecodeInput;
class HeifLibrary;
class QFile;

// Small pictures of photos and picture attachments: JPEG, PNG and the other formats Qt reads, and
// HEIC/HEIF through libheif, loaded when the first one is decoded. The picture's size is read from
// its header first: pictures too large to decode safely are refused, and a large one is decoded
// scaled where its format allows (JPEG), so it never exists at full size. What the decoding costs
// is bounded in the decoder's own terms too (a JPEG's scans, a HEIF file's items and tiles) and by
// its time: a small crafted file cannot hold a thread for minutes. Safe on any thread.
class PictureDecoder
{
public:
    // The largest picture a phone keeps, by side and by pixels (for a HEIF grid, of all its tiles
    // together), and the largest file worth reading.
    static constexpr int kMaxSide = 16384;
    static constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
    static constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
    // The most work one picture may ask for: scans of a JPEG (a progressive one from a camera or
    // the web has about ten), items of a HEIF file and pictures in one grid (a 48-megapixel phone
    // photo has about two hundred), and the time its decoding takes, reads from the disk not counted.
    static constexpr int kMaxJpegScans = 100;
    static constexpr int kMaxHeifItems = 1024;
    static constexpr int kMaxHeifTiles = 512;
    static constexpr int kMaxWorkMs = 20000;

    enum class Outcome {
        Picture,
        Undecodable, // no picture this program reads, or a damaged one
        Refused, // larger than a phone keeps, or asking more work than the bounds allow
        ReadFailed, // a read failed: why holds the system's reason
        Cancelled, // the decoding thread's task was cancelled, or the thread asked to end
        NoDecoder, // a HEIF picture, and libheif cannot be loaded
    };
    struct Result {
        QImage image; // null unless the outcome is Picture
        Outcome outcome = Outcome::Undecodable;
        QString why;
        // Whether the same bytes would give the same again, so that it is worth remembering: not a
        // read that failed, a decoding cancelled, nor a HEIF picture while libheif is missing.
        bool settled() const;
    };

    // The picture scaled down to fit box (never scaled up), turned upright as its EXIF data says.
    // HEIF pictures are decoded with heif, or with HeifLibrary::shared() when heif is null.
    static Result decodeBytes(const QByteArray& bytes, const QSize& box, const HeifLibrary* heif = nullptr);
    // The same for the picture in file (open for reading), read as the decoder asks for it rather
    // than whole: what it costs follows the picture's pixels, never the file's size. A file larger
    // than kMaxFileBytes is not read at all. What a failing disk gave is never drawn in part.
    static Result decodeFile(QFile& file, const QSize& box, const HeifLibrary* heif = nullptr);
    // The whole picture, read by Qt's reader of format alone ("JPEG", "PNG") and left as it is
    // stored, refused beyond maxSide a side or maxPixels, and within the same bounds of work.
    static Result decodeWhole(const QByteArray& bytes, const char* format, int maxSide, qint64 maxPixels);

    // decodeBytes' picture: a null image for every other outcome.
    static QImage fromBytes(const QByteArray& bytes, const QSize& box, const HeifLibrary* heif = nullptr);
    // decodeFile's picture; *why is set when a read failed.
    static QImage fromFile(QFile& file, const QSize& box, QString* why, const HeifLibrary* heif = nullptr);
    // Whether the bytes (the first twelve of a file suffice) start like a HEIF file (ISO media with
    // a HEIF brand).
    static bool isHeif(const QByteArray& head);
    // How many pictures have been decoded in this process.
    static qint64 decodeCount();

    // For tests: the time bound in milliseconds (returns the one before), and a call made on the
    // decoding thread as each decoding starts (null: none).
    static int setWorkLimitMs(int ms);
    static void setBeforeDecode(std::function<void()> hook);

private:
    struct Request;
    static Result decode(DecodeInput& in, const Request& request, const HeifLibrary* heif);
    static Result fromQt(DecodeInput& in, const Request& request);
    static Result fromHeif(DecodeInput& in, const QSize& box, const HeifLibrary& heif);
    static Result ended(DecodeInput& in, QImage image);
    static bool sizeAllowed(const QSize& size, const Request& request);
    static void started();
};
