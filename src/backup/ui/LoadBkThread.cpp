#include "backup/ui/LoadBkThread.h"

#include "app/MadeFolders.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BkCacheDb.h"
#include "backup/StoredFile.h"
#include "backup/lock/BackupFolderLock.h"

#include <QFile>

LoadBkThread::LoadBkThread(const BackupManifest* manifest, QList<const BackupManifest::_FileNode*> files,
    const QDir& cacheDir, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , cacheDir(cacheDir)
    , m_manifest(manifest)
    , m_files(std::move(files))
    , m_form(form)
{
}

bool LoadBkThread::firstStep()
{
    if (!m_firstStep)
        return true;
    // A wait for the folder shows in the form, whose cancel ends it.
    const ProgressForm::ReportingScope reporting(m_form);
    try {
        m_firstStep();
        return true;
    } catch (const BackupFolderLock::Cancelled&) {
        return false; // the form's cancel ended the wait
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return false;
    }
}

void LoadBkThread::run()
{
    if (!firstStep())
        return;
    QString why;
    if (!MadeFolders::makePath(cacheDir.absolutePath(), &why)) {
        m_form->invokeErrorOccurred(why);
        return;
    }
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
        if (!node || m_manifest->storedState(node) == StoredFile::State::Missing)
            continue;
        m_form->invokeUpdateProgress(tr("IDS_LOADING_ITUNES_DB"), index * 100 / int(m_files.size()),
            tr("IDS_CACHING_FILE_%1").arg(node->name()));
        if (!copyOne(copier, node))
            return;
    }
    try {
        copier.checkUnchangedThrow();
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    if (!m_form->cancelled)
        m_form->invokeSucceed(m_faults.texts().join(QLatin1Char('\n')));
}

// Copies node into the cache folder; false after reporting the error that ends the run.
bool LoadBkThread::copyOne(BackupCacheCopy& copier, const BackupManifest::_FileNode* node)
{
    const QString dest = cacheDir.absoluteFilePath(node->item.backupFileName());
    try {
        copier.copyThrow(node, dest, false, m_keepRead ? &m_read : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        // A run that ends here has no use for the copy: it goes, and the text says so.
        if (!m_showWhatItCan && !e.copy().isEmpty())
            QFile::remove(e.copy());
        return noteFault(node, e, QString());
    } catch (const BackupManifest::Unreadable& e) {
        // The user may not read it, it is no regular file, the disk fails to read it, or its key
        // in the record cannot be had.
        return noteFault(
            node, e, QStringLiteral("\nRecord: %1 %2").arg(node->item.domain, node->item.relativePath()));
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(copyError(node) + QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

QString LoadBkThread::copyError(const BackupManifest::_FileNode* node)
{
    return QStringLiteral("Copy %1 error. ").arg(node->name());
}

// A file copied in part or not at all: noted when the run shows what it can, else the run ends.
bool LoadBkThread::noteFault(
    const BackupManifest::_FileNode* node, const std::exception& e, const QString& record)
{
    m_faults.add(node->item.backupFileName(), copyError(node), e, record);
    if (!m_showWhatItCan) {
        m_form->invokeErrorOccurred(m_faults.of(node->item.backupFileName()));
        return false;
    }
    return true;
}
