#include "app/PictureDecoder.h"

#include "app/HeifLibrary.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <atomic>
#include <memory>
#include <vector>

namespace
{

std::atomic<qint64> g_decodes { 0 };

struct HeifFree {
    const HeifLibrary* heif;
    void operator()(heif_context* c) const { heif->context_free(c); }
    void operator()(heif_image_handle* h) const { heif->image_handle_release(h); }
    void operator()(heif_image* i) const { heif->image_release(i); }
};
template <class T> using HeifPtr = std::unique_ptr<T, HeifFree>;
template <class T> HeifPtr<T> owned(const HeifLibrary& heif, T* p)
{
    return HeifPtr<T>(p, HeifFree { &heif });
}

// A file as a device that remembers its first failed read: QFile forgets one at its next seek, and
// decoders seek.
class WatchedRead : public QIODevice
{
public:
    explicit WatchedRead(QFile& file)
        : m_file(file)
    {
        m_file.seek(0);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }
    bool seek(qint64 pos) override { return QIODevice::seek(pos) && m_file.seek(pos); }
    const QString& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        const qint64 n = m_file.read(data, max);
        if (n < 0 && m_failure.isEmpty())
            m_failure = m_file.errorString();
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile& m_file;
    QString m_failure;
};

// libheif reads a file through these, each part when it needs it: the boxes that describe the
// pictures, then the coded data of the one picture decoded.
int64_t devicePosition(void* device)
{
    return static_cast<QIODevice*>(device)->pos();
}
int deviceRead(void* data, size_t size, void* device)
{
    auto* in = static_cast<QIODevice*>(device);
    for (size_t done = 0; done < size;) {
        const qint64 n = in->read(static_cast<char*>(data) + done, qint64(size - done));
        if (n <= 0)
            return 1;
        done += size_t(n);
    }
    return 0;
}
int deviceSeek(int64_t position, void* device)
{
    return static_cast<QIODevice*>(device)->seek(position) ? 0 : 1;
}
heif_reader_grow_status deviceHolds(int64_t size, void* device)
{
    return size > static_cast<QIODevice*>(device)->size() ? heif_reader_grow_status_size_beyond_eof
                                                          : heif_reader_grow_status_size_reached;
}
const heif_reader kDeviceReader { 1, devicePosition, deviceRead, deviceSeek, deviceHolds };

// The smallest embedded thumbnail that still covers box, else the picture itself: camera HEIC
// files carry one, and it spares decoding twelve million pixels for a grid cell.
HeifPtr<heif_image_handle> pickHeifImage(
    const HeifLibrary& heif, HeifPtr<heif_image_handle> primary, const QSize& box)
{
    const int n = heif.image_handle_get_number_of_thumbnails(primary.get());
    if (n <= 0)
        return primary;
    std::vector<heif_item_id> ids(n);
    heif.image_handle_get_list_of_thumbnail_IDs(primary.get(), ids.data(), n);
    HeifPtr<heif_image_handle> best = owned<heif_image_handle>(heif, nullptr);
    for (heif_item_id id : ids) {
        heif_image_handle* t = nullptr;
        if (heif.image_handle_get_thumbnail(primary.get(), id, &t).code != heif_error_Ok)
            continue;
        HeifPtr<heif_image_handle> thumb = owned(heif, t);
        const int w = heif.image_handle_get_width(t), h = heif.image_handle_get_height(t);
        const bool covers = w >= box.width() || h >= box.height();
        if (covers && (!best || w < heif.image_handle_get_width(best.get())))
            best = std::move(thumb);
    }
    return best ? std::move(best) : std::move(primary);
}

QSize fitted(const QSize& size, const QSize& box)
{
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// The picture libheif decoded, fitted into box, in memory of its own.
QImage fittedCopy(const HeifLibrary& heif, const heif_image* decoded, const QSize& box)
{
    int stride = 0;
    const uint8_t* data = heif.image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int w = heif.image_get_width(decoded, heif_channel_interleaved);
    const int h = heif.image_get_height(decoded, heif_channel_interleaved);
    if (!data || w <= 0 || h <= 0)
        return QImage();
    const QImage view(data, w, h, stride, QImage::Format_RGBA8888);
    const QSize target = fitted(view.size(), box);
    // scaled() and copy() both detach from libheif's buffer before it is released.
    return target == view.size() ? view.copy()
                                 : view.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

const HeifLibrary& heifOr(const HeifLibrary* heif)
{
    // Only a HEIF picture loads libheif.
    return heif ? *heif : HeifLibrary::shared();
}

} // namespace

bool PictureDecoder::sizeAllowed(const QSize& size)
{
    return size.isValid() && !size.isEmpty() && size.width() <= kMaxSide && size.height() <= kMaxSide
        && qint64(size.width()) * size.height() <= kMaxPixels;
}

bool PictureDecoder::isHeif(const QByteArray& head)
{
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    static const QByteArrayList brands
        = { "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif" };
    return brands.contains(head.mid(8, 4));
}

QImage PictureDecoder::fromBytes(const QByteArray& bytes, const QSize& box, const HeifLibrary* heif)
{
    if (bytes.isEmpty() || box.isEmpty())
        return QImage();
    if (isHeif(bytes))
        return fromHeif(nullptr, bytes, box, heifOr(heif));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return fromQt(buffer, box);
}

QImage PictureDecoder::fromFile(QFile& file, const QSize& box, QString* why, const HeifLibrary* heif)
{
    if (box.isEmpty() || file.size() > kMaxFileBytes)
        return QImage();
    WatchedRead in(file);
    const QByteArray head = in.peek(12);
    const QImage image = isHeif(head) ? fromHeif(&in, QByteArray(), box, heifOr(heif)) : fromQt(in, box);
    // A decoder takes a read that fails for the picture's end, and draws the rest grey.
    if (!in.failure().isEmpty()) {
        if (why)
            *why = in.failure();
        return QImage();
    }
    return image;
}

QImage PictureDecoder::fromQt(QIODevice& in, const QSize& box)
{
    QImageReader reader(&in);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!sizeAllowed(size))
        return QImage();
    // JPEG scales while decoding, so a large photo never exists at full size here.
    const QSize target = fitted(size, box);
    reader.setScaledSize(target);
    ++g_decodes;
    QImage image = reader.read();
    if (image.isNull())
        return image;
    // The scaled size applies before the picture is turned upright: fit the result again.
    return image.width() > box.width() || image.height() > box.height()
        ? image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
}

// Reads the HEIF picture from file, or from bytes when file is null.
QImage PictureDecoder::fromHeif(
    QIODevice* file, const QByteArray& bytes, const QSize& box, const HeifLibrary& heif)
{
    if (!heif.isLoaded())
        return QImage();
    const HeifPtr<heif_context> ctx = owned(heif, heif.context_alloc());
    heif.context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    const heif_error read = file ? heif.context_read_from_reader(ctx.get(), &kDeviceReader, file, nullptr)
                                 : heif.context_read_from_memory_without_copy(
                                     ctx.get(), bytes.constData(), size_t(bytes.size()), nullptr);
    if (read.code != heif_error_Ok)
        return QImage();
    heif_image_handle* p = nullptr;
    if (heif.context_get_primary_image_handle(ctx.get(), &p).code != heif_error_Ok)
        return QImage();
    const HeifPtr<heif_image_handle> handle = pickHeifImage(heif, owned(heif, p), box);
    if (!sizeAllowed(
            QSize(heif.image_handle_get_width(handle.get()), heif.image_handle_get_height(handle.get()))))
        return QImage();
    heif_image* decoded = nullptr;
    ++g_decodes;
    if (heif.decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
            .code
        != heif_error_Ok)
        return QImage();
    const HeifPtr<heif_image> image = owned(heif, decoded);
    return fittedCopy(heif, decoded, box);
}

qint64 PictureDecoder::decodeCount()
{
    return g_decodes.load();
}
