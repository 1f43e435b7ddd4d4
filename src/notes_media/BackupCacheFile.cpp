#include "notes_media/BackupCacheFile.h"

#include "backup/BackupManifest.h"
#include "backup/MBDBParser.h"

#include <QFileInfo>
#include <stdexcept>

QString BackupCacheFile::pathThrow(const BackupManifest* manifest, const QDir& cacheDir,
    const QString& domain, const QString& relativePath, const char* missingText)
{
    QString name;
    if (manifest) {
        const BackupManifest::_FileNode* node = manifest->findNode(domain, relativePath);
        if (!node || node->implied)
            throw std::runtime_error(missingText);
        name = node->item.backupFileName();
    } else {
        name = MBDBParser::backupFileName(domain, relativePath);
    }
    const QString path = cacheDir.absoluteFilePath(name);
    if (!manifest && !QFileInfo::exists(path))
        throw std::runtime_error(missingText);
    return path;
}
