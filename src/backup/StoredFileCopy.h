#pragma once

#include "backup/BackupManifest.h"

#include <QByteArray>
#include <QString>
#include <optional>

class OutputFile;
class QFile;

// The copy of one stored file of a backup to a destination, decrypted with its record's key in an
// encrypted backup, together with the checks that what it copies is the file the phone wrote, and
// the record keys it needs. What fails those checks is still written, then thrown as
// BackupManifest::NotAsWritten.
class StoredFileCopy
{
public:
    explicit StoredFileCopy(const BackupManifest& manifest);

    // See BackupManifest::copyFile.
    void copyThrow(const BackupManifest::_FileNode* node, const QString& dest, void* context,
        BackupManifest::CopyProgress progress) const;
    // See BackupManifest::fileKeyBlob and BackupManifest::fileKey.
    std::optional<QByteArray> keyBlobThrow(const MBDBParser::_MBDBItem& item) const;
    QByteArray key(const MBDBParser::_MBDBItem& item) const;

private:
    QByteArray copyKeyThrow(const BackupManifest::_FileNode* node, const QString& src) const;
    QString leftEncryptedThrow(
        const BackupManifest::_FileNode* node, const QString& src, QFile& in, const QString& dest) const;
    bool recordHasKeyThrow(const MBDBParser::_MBDBItem& item) const;
    QString decryptCopyThrow(const BackupManifest::_FileNode* node, const QByteArray& key, const QString& src,
        QFile& in, OutputFile& out) const;
    // The record's key blob read from its row in Manifest.db; errors name the backup's own file.
    std::optional<QByteArray> lookUpKeyBlobThrow(const MBDBParser::_MBDBItem& item) const;
    std::optional<QByteArray> lookUpRowKeyBlobThrow(const MBDBParser::_MBDBItem& item) const;

    const BackupManifest& m_manifest;
};
