#pragma once

#include "backup/ContentDigest.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <atomic>
#include <memory>

class QTemporaryDir;

// The plain copy of an encrypted backup's Manifest.db, made in a private folder of this run, which
// SQLite reads in its place.
class ManifestDecryption
{
public:
    struct Copy {
        std::unique_ptr<QTemporaryDir> dir; // holds Manifest.db
        QString stamp; // of the encrypted file it was decrypted from
        ContentDigest::Sum sum; // of the content that was decrypted
    };

    // Decrypts the Manifest.db of dir with key, under a shared hold of the folder. Throws
    // std::runtime_error naming the file when it cannot be read or written or is damaged, and
    // BackupKeyBag::Cancelled within a block once cancel is set.
    static Copy makeThrow(const QDir& dir, const QByteArray& key, const std::atomic<bool>& cancel);
    // Whether the file at path begins as an SQLite database does.
    static bool looksLikeSqlite(const QString& path);
};
