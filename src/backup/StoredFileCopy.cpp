#include "backup/StoredFileCopy.h"

#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/PathWalk.h"
#include "app/RegularFile.h"
#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCrypto.h"
#include "backup/DigestingReader.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestConnection.h"
#include "backup/ManifestDbReader.h"
#include "backup/StoredFile.h"
#include "backup/WalFrames.h"
#include "backup/lock/BackupFolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace
{

// How many stored bytes a decrypting copy reads between the times it tells its progress.
constexpr qint64 kTellEvery = 1024 * 1024;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// The stored copy src could not be opened, read or decrypted ("open", "read", "decrypt"): the
// system's reason why, or why its key cannot be had.
[[noreturn]] void failUnreadable(const char* step, const QString& src, const QString& why)
{
    // A file that cannot be opened is told as on every other road.
    const QString text = qstrcmp(step, "open") == 0
        ? QStringLiteral("can not open %1. %2").arg(src, why)
        : QStringLiteral("Cannot %1 %2. %3").arg(QLatin1String(step), src, why);
    throw BackupManifest::Unreadable(text.toStdString());
}

// Why the file key of a stored copy of length bytes cannot be had: blob is its record's key, or
// nothing when the manifest cannot tell it, and fault why the keybag does not unwrap it.
QString keyFaultText(const std::optional<QByteArray>& blob, BackupKeyBag::KeyFault fault, qint64 length)
{
    if (!blob)
        return QStringLiteral(
            "Its record in the manifest is damaged, so the file key cannot be read from it.");
    if (blob->isEmpty())
        return QStringLiteral(
            "Its record holds no file key, as only the record of an empty file does, yet the "
            "stored copy holds %1 bytes.")
            .arg(length);
    switch (fault) {
    case BackupKeyBag::KeyFault::Length:
        return QStringLiteral("The file key in its record is %1 bytes long, where a file key with its class "
                              "takes 44, so the record is damaged.")
            .arg(blob->size());
    case BackupKeyBag::KeyFault::NoClass:
        return QStringLiteral(
            "The file key in its record is of protection class %1, which the backup's keybag "
            "does not hold.")
            .arg(BackupKeyBag::keyBlobClass(*blob));
    case BackupKeyBag::KeyFault::ClassLocked:
        return QStringLiteral("The file key in its record is of protection class %1, whose key the backup's "
                              "password does not unlock.")
            .arg(BackupKeyBag::keyBlobClass(*blob));
    default:
        return QStringLiteral("The file key in its record fails its check when unwrapped with the key of its "
                              "protection class %1, so the record is damaged.")
            .arg(BackupKeyBag::keyBlobClass(*blob));
    }
}

} // namespace

StoredFileCopy::StoredFileCopy(const BackupManifest& manifest)
    : m_manifest(manifest)
{
}

std::optional<QByteArray> StoredFileCopy::keyBlobThrow(const MBDBParser::_MBDBItem& item) const
{
    const QByteArray inlineKey = item.encryptionKey();
    if (!inlineKey.isEmpty() || !m_manifest.IsEncrypted || m_manifest.isMbdb())
        return inlineKey;
    // An archive that a damaged page left unreadable tells no key; its stored file is still encrypted.
    if (item.archiveUnread)
        return std::nullopt;
    return lookUpKeyBlobThrow(item);
}

// Manifest.db keeps the key inside the record's archive; it is read on demand from the record's
// own row, found by rowid through the table's b-tree: an index of the table may be damaged where
// the table reads whole. A row that is not there (a damaged page) is looked for in the table alone.
std::optional<QByteArray> StoredFileCopy::lookUpKeyBlobThrow(const MBDBParser::_MBDBItem& item) const
{
    try {
        return lookUpRowKeyBlobThrow(item);
    } catch (const std::exception& e) {
        // Errors name the file as the user knows it, never the decrypted copy.
        fail(ManifestDbReader::errorText(
            m_manifest, m_manifest.readableManifestDbPath(), QString::fromUtf8(e.what())));
    }
}

std::optional<QByteArray> StoredFileCopy::lookUpRowKeyBlobThrow(const MBDBParser::_MBDBItem& item) const
{
    std::optional<QByteArray> blob;
    // The connection that read the records serves every copy: an open loads the whole schema.
    m_manifest.m_connection->useThrow(
        m_manifest.readableManifestDbPath(), [&](Sqlite3DB& db) { blob = rowKeyBlobThrow(db, item); });
    return blob;
}

// The key blob of item's record read through db: from its row, found by rowid, when that row is
// the record's, else from the row of the record's file ID.
std::optional<QByteArray> StoredFileCopy::rowKeyBlobThrow(Sqlite3DB& db, const MBDBParser::_MBDBItem& item)
{
    const QString fileId = item.backupFileName();
    const auto keyOf = [](const QByteArray& archive) -> std::optional<QByteArray> {
        MBFileArchive::Fields f;
        if (!MBFileArchive::decode(archive, f, true, false))
            return std::nullopt;
        return f.encryptionKey;
    };
    if (item.hasRowid) {
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql("select file, fileID from Files where rowid=?").addInt64Param(item.rowid));
        if (c.moveNext() && c.getText(1) == fileId)
            return keyOf(c.getBlob(0));
    }
    Sqlite3Cursor c
        = db.queryThrow(Sqlite3Sql("select file from Files not indexed where fileID=?").addTextParam(fileId));
    if (!c.moveNext())
        return std::nullopt;
    return keyOf(c.getBlob(0));
}

QByteArray StoredFileCopy::key(const MBDBParser::_MBDBItem& item) const
{
    if (!m_manifest.IsEncrypted || !m_manifest.isUnlocked())
        return {};
    const std::optional<QByteArray> blob = keyBlobThrow(item);
    return blob ? m_manifest.keyBag()->unwrapKeyBlob(*blob) : QByteArray();
}

void StoredFileCopy::copyThrow(const BackupManifest::_FileNode* node, const QString& dest, void* context,
    BackupManifest::CopyProgress progress, ContentDigest::Sum* stored) const
{
    const auto destination = [&dest] {
        // Told as the file's write, with the reason making its folder gave. The file is written into
        // the folder made, whatever is put at its name meanwhile.
        QString why, refused;
        const HeldFolder folder
            = MadeFolders::makeHeld(QFileInfo(PathWalk::absolute(dest)).path(), &why, &refused);
        if (!folder.isValid())
            fail(QStringLiteral("Cannot write %1: %2")
                     .arg(dest, refused.isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : refused));
        return std::make_unique<OutputFile>(folder, QFileInfo(dest).fileName());
    };
    copyToThrow(node, destination, context, progress, stored);
}

OutputFile::Placed StoredFileCopy::copyThrow(const BackupManifest::_FileNode* node, const HeldFolder& folder,
    const QString& name, void* context, BackupManifest::CopyProgress progress) const
{
    const auto destination = [&] {
        auto out = std::make_unique<OutputFile>(folder, name);
        out->setFitName(true);
        out->setKeepStanding(true);
        return out;
    };
    return copyToThrow(node, destination, context, progress, nullptr);
}

OutputFile::Placed StoredFileCopy::copyToThrow(const BackupManifest::_FileNode* node,
    const Destination& destination, void* context, BackupManifest::CopyProgress progress,
    ContentDigest::Sum* stored) const
{
    if (!node)
        return {};
    const BackupFolderLock reading(m_manifest.dir, BackupFolderLock::Mode::Shared);
    // Records and keys of an older manifest would copy another file, or decrypt it into garbage.
    m_manifest.checkLoadedThrow();
    const QString src = m_manifest.storedFilePath(node->item);
    QFile in;
    QString why;
    if (!RegularFile::openRead(in, src, &why) && m_manifest.partOfUnsettledWrite(src))
        throw BackupManifest::Unreadable(m_manifest.unsettledText(src, QString()).toStdString());
    if (!in.isOpen())
        failUnreadable("open", src, why);
    const QByteArray key = keyThrow(node, src, in.size());
    // The file appears under its name only when whole; a name from the backup never leads
    // through a link out of the folder it is written into.
    const std::unique_ptr<OutputFile> made = destination();
    OutputFile& out = *made;
    out.setModified(qint64(node->item.mtime));
    if (!out.open(QIODevice::WriteOnly) && out.nameRefused())
        throw OutputFile::Refused(out.failure().toStdString());
    if (!out.isOpen())
        fail(out.failure());
    // A file that another tool decrypted in place is copied as it stands, and so is an empty one.
    const bool asStored = key.isEmpty() || (in.size() == 0 && node->item.size == 0)
        || StoredFile::decryptedInPlace(in, key, node->item.size);
    // What the stored file held is taken from the bytes the copy reads, in the same pass.
    ContentDigest read;
    ContentDigest* digest = stored ? &read : nullptr;
    const QString notAsWritten = asStored
        ? copyAsStoredThrow(node, src, in, out, context, progress, digest)
        : decryptCopyThrow(node, key, src, in, out, context, progress, digest);
    if (!out.commit() && out.nameRefused())
        throw OutputFile::Refused(out.failure().toStdString());
    if (out.failed())
        fail(out.failure());
    if (stored)
        *stored = read.sum();
    const QString dest = QFileInfo(out.fileName()).dir().filePath(out.placedName());
    // A file of a write that cannot be settled here is not what its record describes, whatever its
    // bytes: a plain one reads whole, yet holds what the record of another manifest gives.
    if (!notAsWritten.isEmpty() || m_manifest.partOfUnsettledWrite(src))
        throw BackupManifest::NotAsWritten(unsettledOr(src, dest, notAsWritten), dest);
    return out.placed();
}

// What is wrong with the stored copy src that is not what its record describes: why, unless the
// record of a write that was stopped before it ended, and cannot be settled here, names it as one
// that does not hold what the manifest in place describes. Then the copy is no damage: its record
// changes once that write is finished or undone. What src reads as was written to dest, or nothing
// when dest is empty.
QString StoredFileCopy::unsettledOr(const QString& src, const QString& dest, const QString& why) const
{
    return m_manifest.partOfUnsettledWrite(src) ? m_manifest.unsettledText(src, dest) : why;
}

// Copies the stored file in into out as it stands; returns what is wrong with a stored copy that
// is not the file the phone wrote (written all the same), empty when nothing is.
QString StoredFileCopy::copyAsStoredThrow(const BackupManifest::_FileNode* node, const QString& src,
    QFile& in, OutputFile& out, void* context, BackupManifest::CopyProgress progress,
    ContentDigest* read) const
{
    QString notAsWritten = leftEncryptedThrow(node, src, in, out.fileName());
    if (notAsWritten.isEmpty())
        notAsWritten = cutShortThrow(node, src, in, out.fileName());
    const qint64 total = in.size();
    const OutputFile::Progress told = [&](qint64 done) {
        if (progress)
            progress(total, done, context);
        return true;
    };
    if (read) {
        copyReadingThrow(src, in, out, *read, told);
        return notAsWritten;
    }
    const bool copied = out.copyFrom(in.handle(), told);
    if (!copied && out.error() == ECANCELED)
        throw TaskCancel::Cancelled();
    if (!copied && out.sourceFailed())
        failUnreadable("read", src, out.errorString());
    if (!copied)
        fail(out.failure());
    return notAsWritten;
}

// Copies the whole of in into out through this process, adding what it reads to read: a kernel
// copy would need the stored file read once more for its digest.
void StoredFileCopy::copyReadingThrow(
    const QString& src, QFile& in, OutputFile& out, ContentDigest& read, const OutputFile::Progress& progress)
{
    if (!in.seek(0))
        failUnreadable("read", src, in.errorString());
    QByteArray buf(256 * 1024, Qt::Uninitialized);
    qint64 done = 0;
    qint64 n = 0;
    while ((n = in.read(buf.data(), buf.size())) > 0) {
        if (out.write(buf.constData(), n) != n)
            fail(out.failure());
        read.add(buf.constData(), n);
        progress(done += n);
        if (TaskCancel::requested() && !in.atEnd())
            throw TaskCancel::Cancelled();
    }
    if (n < 0)
        failUnreadable("read", src, in.errorString());
}

// Decrypts the stored file in into out, telling progress the stored bytes read as a plain copy
// does, about every megabyte and at the end, before the file is put in place; returns what is
// wrong with a stored copy that ends without its padding (written all the same: it may be all there
// is), empty when nothing is.
QString StoredFileCopy::decryptCopyThrow(const BackupManifest::_FileNode* node, const QByteArray& key,
    const QString& src, QFile& in, OutputFile& out, void* context, BackupManifest::CopyProgress progress,
    ContentDigest* read) const
{
    const QString stored = QDir::toNativeSeparators(src);
    if (in.size() % 16 != 0)
        throw BackupManifest::NotAsWritten(unsettledOr(src, QString(),
            QStringLiteral("BackupManifest::decryptFile: decrypt failed. The stored copy %1 is "
                           "not the file the phone wrote: its %2 bytes are not whole cipher "
                           "blocks, so it was cut short or is not encrypted. Nothing was "
                           "written; its record gives %3 bytes.")
                .arg(stored)
                .arg(in.size())
                .arg(node->item.size))
                                               .toStdString());
    if (!in.seek(0))
        failUnreadable("read", src, in.errorString());
    std::optional<DigestingReader> digesting;
    if (read)
        digesting.emplace(in, *read);
    const qint64 total = in.size();
    qint64 told = 0;
    const auto tell = [&](qint64 done) {
        // A call per block of 8 KiB would cost the decryption time.
        if (done - told < kTellEvery)
            return;
        told = done;
        if (progress)
            progress(total, done, context);
        if (TaskCancel::requested() && done < total)
            throw TaskCancel::Cancelled();
    };
    BackupCrypto::Decrypted got;
    try {
        got = BackupCrypto::decryptStream(key,
            read ? static_cast<QIODevice&>(*digesting) : static_cast<QIODevice&>(in), out, node->item.size,
            tell);
    } catch (const TaskCancel::Cancelled&) {
        throw;
    } catch (const std::exception& e) {
        if (out.failed())
            fail(out.failure());
        if (in.error() != QFileDevice::NoError)
            failUnreadable("read", src, in.errorString());
        fail(QStringLiteral("BackupManifest::decryptFile: decrypt failed. %1")
                 .arg(QString::fromUtf8(e.what())));
    }
    if (progress) // once more, the whole file read and written
        progress(total, total, context);
    if (got.padded)
        return QString();
    return QStringLiteral("The stored copy %1 is not the file the phone wrote: it ends without its padding, "
                          "so it was cut short or is not encrypted under its record's key. The %2 bytes it "
                          "decrypts to were %3; its record gives %4 bytes.")
        .arg(stored)
        .arg(got.size)
        .arg(BackupManifest::NotAsWritten::writtenTo(out.fileName()))
        .arg(node->item.size);
}

// What is wrong with the stored copy in of a backup that another tool decrypted, when that tool
// left it encrypted; empty when nothing is. A plain file's record may give a stale size, so only
// all of the marks of the device's encryption together tell: whole blocks, longer than the record's
// size by at most a block of padding, no file's beginning, and a key in the record.
QString StoredFileCopy::leftEncryptedThrow(
    const BackupManifest::_FileNode* node, const QString& src, QFile& in, const QString& dest) const
{
    const qint64 length = in.size();
    const qint64 size = node->item.size;
    if (!m_manifest.m_decryptedCopy || length % 16 != 0 || length <= size || length - size > 16)
        return QString();
    if (StoredFile::beginsAsAFile(headThrow(src, in, 512)) || !recordHasKeyThrow(node->item))
        return QString();
    return QStringLiteral("The stored copy %1 is still encrypted, although the backup was decrypted by "
                          "another tool. Its %2 bytes, as they stand, were %3; its record gives %4 bytes.")
        .arg(QDir::toNativeSeparators(src))
        .arg(length)
        .arg(BackupManifest::NotAsWritten::writtenTo(dest))
        .arg(size);
}

// What is wrong with a stored copy in that is copied as it stands, when it is cut short of its
// record (see cutShort) or of the length its database's own header gives; empty when nothing is.
QString StoredFileCopy::cutShortThrow(
    const BackupManifest::_FileNode* node, const QString& src, QFile& in, const QString& dest) const
{
    const qint64 length = in.size();
    const qint64 size = node->item.size;
    const QByteArray head = headThrow(src, in, 100);
    const qint64 database = StoredFile::databaseLength(head);
    const auto cut = [&](const QString& why) {
        return QStringLiteral(
            "The stored copy %1 is not the file the phone wrote: %2, so it was cut short. Its "
            "%3 bytes were %4; its record gives %5 bytes.")
            .arg(QDir::toNativeSeparators(src), why)
            .arg(length)
            .arg(BackupManifest::NotAsWritten::writtenTo(dest))
            .arg(size);
    };
    if (length < database && !logHoldsRest(node, head, length))
        return cut(
            QStringLiteral("it is shorter than the database's own header gives (%1 bytes)").arg(database));
    if (StoredFile::databaseHeaderCut(head))
        return cut(QStringLiteral("it ends inside the 100 bytes of the database's own header"));
    if (length >= size || !cutShort(node->item, length, head))
        return QString();
    if (length == 0)
        return QStringLiteral("The stored copy %1 is not the file the phone wrote: it is empty, so it was "
                              "cut short or never copied whole. An empty copy was %2; its record gives "
                              "%3 bytes.")
            .arg(QDir::toNativeSeparators(src), BackupManifest::NotAsWritten::writtenTo(dest))
            .arg(size);
    return cut(
        QStringLiteral("it is shorter than its record, and a picture, film, sound or message attachment "
                       "never changes once written"));
}

// Whether the log ("-wal") stored beside node's database holds, committed, every page from the
// length the copy has to the one its header gives: a database caught in a checkpoint has its
// header's new length before the pages that grow it, which its log still holds.
bool StoredFileCopy::logHoldsRest(
    const BackupManifest::_FileNode* node, const QByteArray& head, qint64 length) const
{
    const qint64 database = StoredFile::databaseLength(head);
    const BackupManifest::_FileNode* log
        = m_manifest.findNode(node->item.domain, node->item.relativePath() + QStringLiteral("-wal"));
    QFile in;
    const quint32 pageSize = StoredFile::databasePageSize(head);
    if (!log || !log->item.isFile() || pageSize == 0
        || !RegularFile::openRead(in, m_manifest.storedFilePath(log->item), nullptr))
        return false;
    return WalFrames::holdsPages(in, pageSize, quint32(length / pageSize) + 1, quint32(database / pageSize));
}

bool StoredFileCopy::cutShort(const MBDBParser::_MBDBItem& item, qint64 length, const QByteArray& head)
{
    if (length >= item.size)
        return false;
    return length == 0 || writtenOnce(item, head);
}

bool StoredFileCopy::writtenOnce(const MBDBParser::_MBDBItem& item, const QByteArray& head)
{
    const QByteArray& path = item.pathUtf8;
    return path.startsWith("Library/SMS/Attachments/") || path.startsWith("Library/SMS/Parts/")
        || StoredFile::beginsAsMedia(head);
}

// The first bytes (at most size) of the stored file in; in is left at its start.
QByteArray StoredFileCopy::headThrow(const QString& src, QFile& in, qint64 size)
{
    if (!in.seek(0))
        failUnreadable("read", src, in.errorString());
    const QByteArray head = in.read(size);
    if (!in.seek(0))
        failUnreadable("read", src, in.errorString());
    return head;
}

// Whether the record carries a file key, read from the plain manifest of a decrypted copy.
bool StoredFileCopy::recordHasKeyThrow(const MBDBParser::_MBDBItem& item) const
{
    if (!item.encryptionKey().isEmpty())
        return true;
    if (item.archiveUnread || m_manifest.isMbdb())
        return false;
    const std::optional<QByteArray> blob = lookUpKeyBlobThrow(item);
    return blob && !blob->isEmpty();
}

void StoredFileCopy::readFailedThrow(const QString& src, const QString& why)
{
    failUnreadable("read", src, why);
}

// A key that cannot be had costs that file alone: it is thrown as BackupManifest::Unreadable.
QByteArray StoredFileCopy::keyThrow(
    const BackupManifest::_FileNode* node, const QString& src, qint64 length) const
{
    if (!m_manifest.IsEncrypted)
        return {};
    // Copying the encrypted bytes as if they were the file would hide the failure.
    if (!m_manifest.isUnlocked())
        fail(QStringLiteral("BackupManifest::decryptFile: decrypt failed. The backup is locked."));
    const std::optional<QByteArray> blob = keyBlobThrow(node->item);
    // A record without a key stands for an empty file; bytes stored under it are still encrypted.
    if (blob && blob->isEmpty() && length == 0)
        return {};
    BackupKeyBag::KeyFault fault = BackupKeyBag::KeyFault::None;
    const QByteArray key
        = blob && !blob->isEmpty() ? m_manifest.keyBag()->unwrapKeyBlob(*blob, &fault) : QByteArray();
    if (key.isEmpty())
        failUnreadable("decrypt", src, keyFaultText(blob, fault, length));
    return key;
}
