#pragma once

#include <QDir>
#include <QString>

class BackupManifest;

// Where the backup loader placed the copy of one well-known database of a backup: the cache
// folder's file named after the record's backup file name. Without a backup at hand (counting
// from the cache folder alone) the name is worked out from the domain and path.
class BackupCacheFile
{
public:
    // Throws std::runtime_error(missingText) when the backup has no such record or, without a
    // backup, when the cache holds no copy.
    static QString pathThrow(const BackupManifest* manifest, const QDir& cacheDir, const QString& domain,
        const QString& relativePath, const char* missingText);
};
