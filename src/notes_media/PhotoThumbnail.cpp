#include "notes_media/PhotoThumbnail.h"

#include "app/HeifLibrary.h"
#include "app/PictureDecoder.h"
#include "app/RegularFile.h"
#include "backup/BackupCrypto.h"
#include "backup/StoredFile.h"
#include "backup/StoredFileCopy.h"
#include "backup/lock/BackupFolderLock.h"

#include <QBuffer>
#include <QFile>
#include <stdexcept>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

QImage PhotoThumbnail::make(const QByteArray& bytes, const QSize& box)
{
    return PictureDecoder::fromBytes(bytes, box);
}

QImage PhotoThumbnail::make(const QByteArray& bytes, const QSize& box, const HeifLibrary& heif)
{
    return PictureDecoder::fromBytes(bytes, box, &heif);
}

bool PhotoThumbnail::isHeif(const QByteArray& bytes)
{
    return PictureDecoder::isHeif(bytes);
}

bool PhotoThumbnail::decoderPresent(const QByteArray& bytes)
{
    return !isHeif(bytes) || HeifLibrary::shared().isLoaded();
}

bool PhotoThumbnail::decoderPresent(const QByteArray& bytes, const HeifLibrary& heif)
{
    return !isHeif(bytes) || heif.isLoaded();
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
    return PictureDecoder::decodeCount();
}
