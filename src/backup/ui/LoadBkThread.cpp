#include "backup/ui/LoadBkThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BkCacheDb.h"
#include "backup/StoredFile.h"

LoadBkThread::LoadBkThread(const BackupManifest* manifest, QList<const BackupManifest::_FileNode*> files,
    const QDir& cacheDir, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , cacheDir(cacheDir)
    , m_manifest(manifest)
    , m_files(std::move(files))
    , m_form(form)
{
}

void LoadBkThread::run()
{
    cacheDir.mkpath(QStringLiteral("."));
    BkCacheDb cache(cacheDir.absoluteFilePath(QStringLiteral("manifest2.db")));
    try {
        cache.openThrow();
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(
            QStringLiteral("open cache DB error.%1").arg(QString::fromUtf8(e.what())));
        return;
    }
    BackupCacheCopy copier(*m_manifest, cache);
    QStringList faults;
    int index = 0;
    for (const BackupManifest::_FileNode* node : std::as_const(m_files)) {
        ++index;
        if (m_form->cancelled)
            return;
        if (!node
            || StoredFile::stateOf(m_manifest->storedFilePath(node->item)) == StoredFile::State::Missing)
            continue;
        m_form->invokeUpdateProgress(tr("IDS_LOADING_ITUNES_DB"), index * 100 / int(m_files.size()),
            tr("IDS_CACHING_FILE_%1").arg(node->name()));
        if (!copyOne(copier, node, faults))
            return;
    }
    if (!m_form->cancelled)
        m_form->invokeSucceed(faults.join(QLatin1Char('\n')));
}

// Copies node into the cache folder; false after reporting the error that ends the run.
bool LoadBkThread::copyOne(
    BackupCacheCopy& copier, const BackupManifest::_FileNode* node, QStringList& faults)
{
    const QString stored = m_manifest->storedFilePath(node->item);
    QString text;
    if (m_showWhatItCan && StoredFile::stateOf(stored, &text) == StoredFile::State::Unreadable) {
        faults.append(QStringLiteral("Copy %1 error. %2").arg(node->name(), text));
        return true;
    }
    try {
        copier.copyThrow(node, cacheDir.absoluteFilePath(node->item.backupFileName()), false,
            m_keepRead ? &m_read : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        const QString text
            = QStringLiteral("Copy %1 error. %2").arg(node->name(), QString::fromUtf8(e.what()));
        if (!m_showWhatItCan) {
            m_form->invokeErrorOccurred(text);
            return false;
        }
        faults.append(text);
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(
            QStringLiteral("Copy %1 error. %2").arg(node->name(), QString::fromUtf8(e.what())));
        return false;
    }
    return true;
}
