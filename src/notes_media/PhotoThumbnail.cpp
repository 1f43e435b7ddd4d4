#include "notes_media/PhotoThumbnail.h"

#include "app/RegularFile.h"
#include "backup/BackupCrypto.h"
#include "backup/StoredFile.h"
#include "backup/StoredFileCopy.h"
#include "backup/lock/BackupFolderLock.h"
#include "notes_media/HeifLibrary.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <atomic>
#include <memory>
#include <stdexcept>

namespace
{

std::atomic<qint64> g_decodes { 0 };

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

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

} // namespace

bool PhotoThumbnail::sizeAllowed(const QSize& size)
{
    return size.isValid() && !size.isEmpty() && size.width() <= kMaxSide && size.height() <= kMaxSide
        && qint64(size.width()) * size.height() <= kMaxPixels;
}

bool PhotoThumbnail::isHeif(const QByteArray& bytes)
{
    if (bytes.size() < 12 || bytes.mid(4, 4) != "ftyp")
        return false;
    static const QByteArrayList brands
        = { "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif" };
    return brands.contains(bytes.mid(8, 4));
}

QImage PhotoThumbnail::make(const QByteArray& bytes, const QSize& box)
{
    if (bytes.isEmpty() || box.isEmpty())
        return QImage();
    // Only a HEIF picture loads libheif.
    return isHeif(bytes) ? fromHeif(bytes, box, HeifLibrary::shared()) : fromQt(bytes, box);
}

QImage PhotoThumbnail::make(const QByteArray& bytes, const QSize& box, const HeifLibrary& heif)
{
    if (bytes.isEmpty() || box.isEmpty())
        return QImage();
    return isHeif(bytes) ? fromHeif(bytes, box, heif) : fromQt(bytes, box);
}

bool PhotoThumbnail::decoderPresent(const QByteArray& bytes)
{
    return !isHeif(bytes) || HeifLibrary::shared().isLoaded();
}

bool PhotoThumbnail::decoderPresent(const QByteArray& bytes, const HeifLibrary& heif)
{
    return !isHeif(bytes) || heif.isLoaded();
}

QImage PhotoThumbnail::fromQt(const QByteArray& bytes, const QSize& box)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
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

QImage PhotoThumbnail::fromHeif(const QByteArray& bytes, const QSize& box, const HeifLibrary& heif)
{
    if (!heif.isLoaded())
        return QImage();
    const HeifPtr<heif_context> ctx = owned(heif, heif.context_alloc());
    heif.context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    if (heif.context_read_from_memory_without_copy(
                ctx.get(), bytes.constData(), size_t(bytes.size()), nullptr)
            .code
        != heif_error_Ok)
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

QByteArray PhotoThumbnail::readStoredThrow(
    const BackupManifest& manifest, const BackupManifest::_FileNode* node)
{
    const BackupFolderLock reading(manifest.dir, BackupFolderLock::Mode::Shared);
    manifest.checkLoadedThrow(); // an older manifest's key would decrypt the picture into garbage
    const QString path = manifest.storedFilePath(node->item);
    if (manifest.partOfUnsettledWrite(path)) // its record does not describe it until then
        fail(manifest.unsettledText(path, QString()));
    QFile in;
    QString why;
    if (!RegularFile::openRead(in, path, &why))
        fail(QStringLiteral("can not open %1. %2").arg(path, why));
    // The stored file tells the length; the record's size may be wrong.
    if (in.size() > kMaxFileBytes + 16)
        return QByteArray();
    const QByteArray key = StoredFileCopy(manifest).keyThrow(node, path, in.size());
    if (key.isEmpty() || StoredFile::decryptedInPlace(in, key, node->item.size)) {
        QByteArray bytes;
        if (!RegularFile::readToEnd(in, &bytes, &why)) // a failing disk's read is no end of the file
            StoredFileCopy::readFailedThrow(path, why);
        // A picture cut short is not drawn in part either: the copy says why.
        if (StoredFileCopy::cutShort(node->item, bytes.size(), bytes))
            fail(QStringLiteral("%1 is shorter than its record: it is not the picture the phone wrote.")
                     .arg(path));
        return bytes;
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    BackupCrypto::Decrypted got;
    try {
        got = BackupCrypto::decryptStream(key, in, out, node->item.size);
    } catch (const std::exception&) {
        if (in.error() != QFileDevice::NoError)
            StoredFileCopy::readFailedThrow(path, in.errorString());
        throw;
    }
    // A picture cut short or under another key is not drawn in part: the copy says why.
    if (!got.padded)
        fail(QStringLiteral("%1 ends without its padding: it is not the picture the phone wrote.").arg(path));
    return out.data();
}

qint64 PhotoThumbnail::decodeCount()
{
    return g_decodes.load();
}
