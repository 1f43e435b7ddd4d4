#pragma once

#include <QString>
#include <memory>

class ContentDigest;
class QTemporaryDir;

// A plain Manifest.db in WAL mode may have committed rows only in its log (Manifest.db-wal), left
// there by a program that had it open for writing. Reading the file as it is (immutable) would
// leave them out; opening it in place would write into the backup folder. A private copy of the
// two, with the log moved into the copy, holds every row.
class ManifestWalCopy
{
public:
    // The copy of dbPath with its log's rows, in a new temporary folder removed with it; null when
    // no non-empty log stands beside dbPath. The bytes of dbPath are added to read, and those of the
    // log to logRead (none when there is none), as they are copied, when one is given. Throws
    // std::runtime_error when the copy cannot be made.
    static std::unique_ptr<QTemporaryDir> takeThrow(
        const QString& dbPath, ContentDigest* read = nullptr, ContentDigest* logRead = nullptr);
    static QString logOf(const QString& dbPath);
};
