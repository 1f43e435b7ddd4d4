#pragma once

#include "app/OutputFile.h"
#include "backup/BackupManifest.h"
#include "backup/ContentDigest.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QFile;
class Sqlite3DB;

// The copy of one stored file of a backup to a destination, decrypted with its record's key in an
// encrypted backup, together with the checks that what it copies is the file the phone wrote, and
// the record keys it needs. What fails those checks is still written, then thrown as
// BackupManifest::NotAsWritten; a stored copy that cannot be read, or whose key cannot be had, is
// thrown as BackupManifest::Unreadable.
class StoredFileCopy
{
public:
    explicit StoredFileCopy(const BackupManifest& manifest);

    // See BackupManifest::copyFile.
    void copyThrow(const BackupManifest::_FileNode* node, const QString& dest, void* context,
        BackupManifest::CopyProgress progress, ContentDigest::Sum* stored = nullptr) const;
    // The same to the file name inside folder, a folder the caller holds; a name the disk refuses is
    // fitted (see OutputFile::setFitName), and nothing standing there replaced (see
    // OutputFile::setKeepStanding). Returns where the file went; throws OutputFile::Refused when the
    // disk takes no name fitted from it.
    OutputFile::Placed copyThrow(const BackupManifest::_FileNode* node, const HeldFolder& folder,
        const QString& name, void* context, BackupManifest::CopyProgress progress) const;
    // See BackupManifest::fileKeyBlob and BackupManifest::fileKey.
    std::optional<QByteArray> keyBlobThrow(const MBDBParser::_MBDBItem& item) const;
    QByteArray key(const MBDBParser::_MBDBItem& item) const;
    // The key that decrypts node's stored copy src of length bytes; empty for a plain one, and for
    // an empty one whose record holds no key. One that cannot be had is thrown as
    // BackupManifest::Unreadable with its reason: "Cannot decrypt <src>. <why>".
    QByteArray keyThrow(const BackupManifest::_FileNode* node, const QString& src, qint64 length) const;
    // Throws BackupManifest::Unreadable for a read of the stored copy src that failed: "Cannot read
    // <src>. <why>".
    [[noreturn]] static void readFailedThrow(const QString& src, const QString& why);

    // Whether a stored copy of length bytes beginning with head, taken as it stands, is cut short of
    // the record item: empty where the record gives bytes, or shorter than the record for a picture,
    // film or sound (told by its bytes) or a message attachment (by its place), which the phone
    // writes once and never changes in place. Other files (databases above all) change while a
    // backup runs, so their records' sizes go stale and tell nothing.
    static bool cutShort(const MBDBParser::_MBDBItem& item, qint64 length, const QByteArray& head);
    // Whether item is a message attachment (by its place) or a file beginning with head is a
    // picture, film or sound (by its bytes): the phone writes those once and never changes them.
    static bool writtenOnce(const MBDBParser::_MBDBItem& item, const QByteArray& head);

private:
    // The copy into the file the caller makes once the stored copy is open and its key had.
    using Destination = std::function<std::unique_ptr<OutputFile>()>;
    OutputFile::Placed copyToThrow(const BackupManifest::_FileNode* node, const Destination& destination,
        void* context, BackupManifest::CopyProgress progress, ContentDigest::Sum* stored) const;
    QString copyAsStoredThrow(const BackupManifest::_FileNode* node, const QString& src, QFile& in,
        OutputFile& out, void* context, BackupManifest::CopyProgress progress, ContentDigest* read) const;
    static void copyReadingThrow(const QString& src, QFile& in, OutputFile& out, ContentDigest& read,
        const OutputFile::Progress& progress);
    QString unsettledOr(const QString& src, const QString& dest, const QString& why) const;
    QString leftEncryptedThrow(
        const BackupManifest::_FileNode* node, const QString& src, QFile& in, const QString& dest) const;
    QString cutShortThrow(
        const BackupManifest::_FileNode* node, const QString& src, QFile& in, const QString& dest) const;
    static QByteArray headThrow(const QString& src, QFile& in, qint64 size);
    bool logHoldsRest(const BackupManifest::_FileNode* node, const QByteArray& head, qint64 length) const;
    bool recordHasKeyThrow(const MBDBParser::_MBDBItem& item) const;
    QString decryptCopyThrow(const BackupManifest::_FileNode* node, const QByteArray& key, const QString& src,
        QFile& in, OutputFile& out, void* context, BackupManifest::CopyProgress progress,
        ContentDigest* read) const;
    // The record's key blob read from its row in Manifest.db; errors name the backup's own file.
    std::optional<QByteArray> lookUpKeyBlobThrow(const MBDBParser::_MBDBItem& item) const;
    std::optional<QByteArray> lookUpRowKeyBlobThrow(const MBDBParser::_MBDBItem& item) const;
    static std::optional<QByteArray> rowKeyBlobThrow(Sqlite3DB& db, const MBDBParser::_MBDBItem& item);

    const BackupManifest& m_manifest;
};
