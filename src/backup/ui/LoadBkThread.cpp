#include "backup/ui/LoadBkThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BkCacheDb.h"

#include <QFileInfo>

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
    int index = 0;
    for (const BackupManifest::_FileNode* node : std::as_const(m_files)) {
        ++index;
        if (m_form->cancelled)
            return;
        if (!node || !QFileInfo::exists(m_manifest->storedFilePath(node->item)))
            continue;
        const QString name = node->item.backupFileName();
        m_form->invokeUpdateProgress(tr("IDS_LOADING_ITUNES_DB"), index * 100 / int(m_files.size()),
            tr("IDS_CACHING_FILE_%1").arg(node->name()));
        const QString dest = cacheDir.absoluteFilePath(name);
        try {
            copier.copyThrow(node, dest);
        } catch (const std::exception& e) {
            m_form->invokeErrorOccurred(
                QStringLiteral("Copy %1 error. %2").arg(node->name(), QString::fromUtf8(e.what())));
            return;
        }
    }
    if (!m_form->cancelled)
        m_form->invokeSucceed(QString());
}
