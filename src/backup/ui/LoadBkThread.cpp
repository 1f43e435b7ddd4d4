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
        if (!node || m_manifest->storedState(node) == StoredFile::State::Missing)
            continue;
        m_form->invokeUpdateProgress(tr("IDS_LOADING_ITUNES_DB"), index * 100 / int(m_files.size()),
            tr("IDS_CACHING_FILE_%1").arg(node->name()));
        if (!copyOne(copier, node, faults))
            return;
    }
    try {
        copier.checkUnchangedThrow();
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    if (!m_form->cancelled)
        m_form->invokeSucceed(faults.join(QLatin1Char('\n')));
}

// Copies node into the cache folder; false after reporting the error that ends the run.
bool LoadBkThread::copyOne(
    BackupCacheCopy& copier, const BackupManifest::_FileNode* node, QStringList& faults)
{
    const auto copyError = [&](const char* why) {
        return QStringLiteral("Copy %1 error. %2").arg(node->name(), QString::fromUtf8(why));
    };
    try {
        copier.copyThrow(node, cacheDir.absoluteFilePath(node->item.backupFileName()), false,
            m_keepRead ? &m_read : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        return noteFault(copyError(e.what()), faults);
    } catch (const BackupManifest::Unreadable& e) {
        // The user may not read it, it is no regular file, the disk fails to read it, or its key
        // in the record cannot be had.
        return noteFault(copyError(e.what())
                + QStringLiteral("\nRecord: %1 %2").arg(node->item.domain, node->item.relativePath()),
            faults);
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(copyError(e.what()));
        return false;
    }
    return true;
}

// A file copied in part or not at all: noted when the run shows what it can, else the run ends.
bool LoadBkThread::noteFault(const QString& text, QStringList& faults)
{
    if (!m_showWhatItCan) {
        m_form->invokeErrorOccurred(text);
        return false;
    }
    faults.append(text);
    return true;
}
