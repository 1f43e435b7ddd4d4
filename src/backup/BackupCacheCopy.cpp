#include "backup/BackupCacheCopy.h"

#include "backup/BackupFolderLock.h"
#include "backup/BkCacheDb.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

BackupCacheCopy::BackupCacheCopy(const BackupManifest& manifest, BkCacheDb& cache)
    : BackupCacheCopy(manifest, &cache)
{
}

BackupCacheCopy::BackupCacheCopy(const BackupManifest& manifest, BkCacheDb* cache)
    : m_manifest(manifest)
    , m_cache(cache)
{
}

void BackupCacheCopy::copyWithLogThrow(
    const BackupManifest& manifest, const BackupManifest::_FileNode* node, const QString& dest)
{
    BackupCacheCopy(manifest, nullptr).copyThrow(node, dest, true);
}

QString BackupCacheCopy::stampOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1:%2:%3:%4.%5:%6.%7")
        .arg(qint64(st.st_size))
        .arg(quint64(st.st_dev))
        .arg(quint64(st.st_ino))
        .arg(qint64(st.st_mtim.tv_sec))
        .arg(qint64(st.st_mtim.tv_nsec))
        .arg(qint64(st.st_ctim.tv_sec))
        .arg(qint64(st.st_ctim.tv_nsec));
}

const BackupManifest::_FileNode* BackupCacheCopy::companion(
    const BackupManifest::_FileNode* node, const char* suffix) const
{
    const BackupManifest::_FileNode* c
        = m_manifest.findNode(node->item.domain, node->item.relativePath() + QLatin1String(suffix));
    return c && c->item.isFile() ? c : nullptr;
}

bool BackupCacheCopy::isCompanion(const BackupManifest::_FileNode* node) const
{
    const QString rel = node->item.relativePath();
    for (const char* suffix : { "-wal", "-shm" })
        if (rel.endsWith(QLatin1String(suffix))) {
            const auto* main = m_manifest.findNode(node->item.domain, rel.chopped(int(qstrlen(suffix))));
            return main && main->item.isFile();
        }
    return false;
}

bool BackupCacheCopy::isCurrent(const BackupManifest::_FileNode* node, const QString& dest)
{
    const QString stored = m_manifest.storedFilePath(node->item);
    return m_cache && QFileInfo::exists(dest)
        && m_cache->isCurrent(node->item.backupFileName(), node->item.mtime, stampOf(stored));
}

void BackupCacheCopy::copyThrow(
    const BackupManifest::_FileNode* node, const QString& dest, bool fresh, Read* read)
{
    fresh = fresh || read != nullptr;
    // A database and its log are copied from the same write's files.
    const BackupFolderLock reading(m_manifest.dir, BackupFolderLock::Mode::Shared);
    // A copy made from the files an older manifest told is no copy of the backup as it stands.
    m_manifest.checkLoadedThrow();
    const BackupManifest::_FileNode* wal = companion(node, "-wal");
    const bool walStored = wal && QFileInfo::exists(m_manifest.storedFilePath(wal->item));
    const QString walDest = dest + QStringLiteral("-wal");
    if (!fresh && isCurrent(node, dest)
        && (walStored ? isCurrent(wal, walDest) : !QFileInfo::exists(walDest))) {
        throwIfMarked(node);
        if (walStored)
            throwIfMarked(wal);
        return;
    }
    // A log or index beside the copy belongs to the copy it was made with.
    QFile::remove(walDest);
    QFile::remove(dest + QStringLiteral("-shm"));
    copyOneThrow(node, dest, read);
    if (walStored)
        copyOneThrow(wal, walDest, read);
}

bool BackupCacheCopy::knownNotAsWritten(const BackupManifest::_FileNode* node)
{
    const QString name = node->item.backupFileName();
    return m_cache
        && m_cache->isCurrent(name, node->item.mtime, stampOf(m_manifest.storedFilePath(node->item)))
        && !m_cache->notAsWritten(name).isEmpty();
}

// A current copy the cache knows to be not what the phone wrote says so as its copy did.
void BackupCacheCopy::throwIfMarked(const BackupManifest::_FileNode* node)
{
    const QString why = m_cache->notAsWritten(node->item.backupFileName());
    if (!why.isEmpty())
        throw BackupManifest::NotAsWritten(why.toStdString());
}

void BackupCacheCopy::copyOneThrow(const BackupManifest::_FileNode* node, const QString& dest, Read* read)
{
    const QString stamp = stampOf(m_manifest.storedFilePath(node->item));
    const QString before = stampOf(dest);
    QString notAsWritten;
    try {
        m_manifest.copyFile(
            node, dest, nullptr, nullptr, read ? &(*read)[node->item.backupFileName()] : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        notAsWritten = QString::fromUtf8(e.what());
        // Nothing written ("not whole cipher blocks"): a copy still there is of another stored file.
        if (!before.isEmpty() && stampOf(dest) == before)
            QFile::remove(dest);
    } catch (const BackupManifest::Unreadable& e) {
        // Nothing written: a copy still there is of another stored file and would pass for this one.
        QFile::remove(dest);
        if (m_cache)
            m_cache->setUnreadableThrow(
                node->item.backupFileName(), cacheRelative(dest), QString::fromUtf8(e.what()));
        throw;
    }
    if (m_cache) {
        try {
            m_cache->setCopiedThrow(
                node->item.backupFileName(), node->item.mtime, stamp, cacheRelative(dest), notAsWritten);
        } catch (...) {
            // Unrecorded, a damaged copy would pass for the phone's file: it goes.
            if (!notAsWritten.isEmpty())
                QFile::remove(dest);
            throw;
        }
    }
    if (!notAsWritten.isEmpty())
        throw BackupManifest::NotAsWritten(notAsWritten.toStdString());
}

// Where a copy lies, relative to the cache's database.
QString BackupCacheCopy::cacheRelative(const QString& dest) const
{
    return QFileInfo(m_cache->path()).absoluteDir().relativeFilePath(dest);
}
