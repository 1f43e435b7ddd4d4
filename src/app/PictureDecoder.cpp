#include "app/PictureDecoder.h"

#include "app/DecodeInput.h"
#include "app/HeifLibrary.h"
#include "app/HeifShape.h"

#include <QFile>
#include <QImageReader>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace
{

std::atomic<qint64> g_decodes { 0 };
std::atomic<int> g_workLimitMs { PictureDecoder::kMaxWorkMs };
std::mutex g_hookMutex;
std::function<void()> g_beforeDecode;

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

// libheif reads a file through these, each part when it needs it: the boxes that describe the
// pictures, then the coded data of the one picture decoded. libheif asks whether the file holds
// the bytes before it reads them, and takes a failed read of bytes it holds for a fault of its
// own (it aborts the process): so a decoding told to stop, or whose disk failed, holds no more,
// and a read that fails all the same gives zeros, which the outcome then disowns.
int64_t devicePosition(void* device)
{
    return static_cast<DecodeInput*>(device)->pos();
}
int deviceRead(void* data, size_t size, void* device)
{
    auto* in = static_cast<DecodeInput*>(device);
    for (size_t done = 0; done < size;) {
        const qint64 n = in->read(static_cast<char*>(data) + done, qint64(size - done));
        if (n <= 0) {
            memset(static_cast<char*>(data) + done, 0, size - done);
            in->seek(in->pos() + qint64(size - done));
            return 0;
        }
        done += size_t(n);
    }
    return 0;
}
int deviceSeek(int64_t position, void* device)
{
    return static_cast<DecodeInput*>(device)->seek(position) ? 0 : 1;
}
heif_reader_grow_status deviceHolds(int64_t size, void* device)
{
    auto* in = static_cast<DecodeInput*>(device);
    return size > in->size() || !in->mayGoOn() ? heif_reader_grow_status_size_beyond_eof
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

struct PictureDecoder::Request {
    QSize box; // invalid: the whole picture
    const char* format = nullptr; // null: told from the content
    bool upright = true;
    int maxSide = kMaxSide;
    qint64 maxPixels = kMaxPixels;
};

bool PictureDecoder::Result::settled() const
{
    return outcome == Outcome::Picture || outcome == Outcome::Undecodable || outcome == Outcome::Refused;
}

bool PictureDecoder::sizeAllowed(const QSize& size, const Request& request)
{
    return size.isValid() && !size.isEmpty() && size.width() <= request.maxSide
        && size.height() <= request.maxSide && qint64(size.width()) * size.height() <= request.maxPixels;
}

bool PictureDecoder::isHeif(const QByteArray& head)
{
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    static const QByteArrayList brands
        = { "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif" };
    return brands.contains(head.mid(8, 4));
}

PictureDecoder::Result PictureDecoder::decodeBytes(
    const QByteArray& bytes, const QSize& box, const HeifLibrary* heif)
{
    if (bytes.isEmpty() || box.isEmpty())
        return Result();
    DecodeInput in(bytes, g_workLimitMs);
    return decode(in, Request { box }, heif);
}

PictureDecoder::Result PictureDecoder::decodeFile(QFile& file, const QSize& box, const HeifLibrary* heif)
{
    if (box.isEmpty())
        return Result();
    if (file.size() > kMaxFileBytes)
        return Result { QImage(), Outcome::Refused, QString() };
    DecodeInput in(file, g_workLimitMs);
    return decode(in, Request { box }, heif);
}

PictureDecoder::Result PictureDecoder::decodeWhole(
    const QByteArray& bytes, const char* format, int maxSide, qint64 maxPixels)
{
    if (bytes.isEmpty())
        return Result();
    DecodeInput in(bytes, g_workLimitMs);
    return decode(in, Request { QSize(), format, false, maxSide, maxPixels }, nullptr);
}

QImage PictureDecoder::fromBytes(const QByteArray& bytes, const QSize& box, const HeifLibrary* heif)
{
    return decodeBytes(bytes, box, heif).image;
}

QImage PictureDecoder::fromFile(QFile& file, const QSize& box, QString* why, const HeifLibrary* heif)
{
    Result result = decodeFile(file, box, heif);
    if (why && result.outcome == Outcome::ReadFailed)
        *why = result.why;
    return result.image;
}

PictureDecoder::Result PictureDecoder::decode(
    DecodeInput& in, const Request& request, const HeifLibrary* heif)
{
    const QByteArray head = in.peek(12);
    if (!request.format && isHeif(head))
        return fromHeif(in, request.box, heifOr(heif));
    if (head.startsWith("\xFF\xD8"))
        in.countJpegScans(kMaxJpegScans);
    return fromQt(in, request);
}

// What the decoding came to: a read the disk failed and a cancel outweigh the picture, which a
// decoder stopped part-way may still have drawn (grey where it was stopped).
PictureDecoder::Result PictureDecoder::ended(DecodeInput& in, QImage image)
{
    const DecodeInput::Stop stop = in.stopped();
    if (stop == DecodeInput::Stop::Cancelled)
        return Result { QImage(), Outcome::Cancelled, QString() };
    if (!in.failure().isEmpty())
        return Result { QImage(), Outcome::ReadFailed, in.failure() };
    if (stop == DecodeInput::Stop::Refused)
        return Result { QImage(), Outcome::Refused, QString() };
    if (image.isNull())
        return Result();
    return Result { std::move(image), Outcome::Picture, QString() };
}

void PictureDecoder::started()
{
    ++g_decodes;
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_beforeDecode;
    }
    if (hook)
        hook();
}

PictureDecoder::Result PictureDecoder::fromQt(DecodeInput& in, const Request& request)
{
    QImageReader reader(&in, request.format);
    if (request.format)
        reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(request.upright);
    const QSize size = reader.size();
    if (!sizeAllowed(size, request)) {
        if (size.isValid() && !size.isEmpty())
            in.refuse(); // larger than allowed, rather than no picture
        return ended(in, QImage());
    }
    // JPEG scales while decoding, so a large photo never exists at full size here.
    if (request.box.isValid())
        reader.setScaledSize(fitted(size, request.box));
    started();
    QImage image = reader.read();
    // The scaled size applies before the picture is turned upright: fit the result again.
    if (request.box.isValid()
        && (image.width() > request.box.width() || image.height() > request.box.height()))
        image = image.scaled(request.box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return ended(in, std::move(image));
}

PictureDecoder::Result PictureDecoder::fromHeif(DecodeInput& in, const QSize& box, const HeifLibrary& heif)
{
    if (!heif.isLoaded())
        return Result { QImage(), Outcome::NoDecoder, QString() };
    // A grid's tiles are decoded each at its own size, whatever part of it the grid shows.
    const HeifShape shape(in);
    if (shape.boxes() > kMaxHeifItems || shape.items() > kMaxHeifItems || shape.mostTiles() > kMaxHeifTiles
        || shape.mostPixels() > kMaxPixels) {
        in.refuse();
        return ended(in, QImage());
    }
    in.seek(0);
    const HeifPtr<heif_context> ctx = owned(heif, heif.context_alloc());
    heif.context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    heif_image_handle* p = nullptr;
    if (heif.context_read_from_reader(ctx.get(), &kDeviceReader, &in, nullptr).code != heif_error_Ok
        || heif.context_get_primary_image_handle(ctx.get(), &p).code != heif_error_Ok)
        return ended(in, QImage());
    const HeifPtr<heif_image_handle> handle = pickHeifImage(heif, owned(heif, p), box);
    const QSize size(heif.image_handle_get_width(handle.get()), heif.image_handle_get_height(handle.get()));
    if (!sizeAllowed(size, Request { box })) {
        in.refuse();
        return ended(in, QImage());
    }
    heif_image* decoded = nullptr;
    started();
    if (heif.decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
            .code
        != heif_error_Ok)
        return ended(in, QImage());
    const HeifPtr<heif_image> image = owned(heif, decoded);
    return ended(in, fittedCopy(heif, decoded, box));
}

qint64 PictureDecoder::decodeCount()
{
    return g_decodes.load();
}

int PictureDecoder::setWorkLimitMs(int ms)
{
    return g_workLimitMs.exchange(ms);
}

void PictureDecoder::setBeforeDecode(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_beforeDecode = std::move(hook);
}
