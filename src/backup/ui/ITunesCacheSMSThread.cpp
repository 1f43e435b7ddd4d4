#include "backup/ui/ITunesCacheSMSThread.h"

#include "app/DataPaths.h"
#include "app/MadeFolders.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/StoredFile.h"

#include <stdexcept>

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest& manifest, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_form(form)
    , m_cacheDir(BkCacheDb::cacheDir().absoluteFilePath(manifest.dirPathMd5()))
{
}

bool ITunesCacheSMSThread::holdsMessages(const BackupManifest& manifest)
{
    return manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS")) != nullptr;
}

void ITunesCacheSMSThread::run()
{
    m_form.invokeUpdateProgress(tr("IDS_LOADING_ITUNES_BACKUP"), -1);
    const BackupManifest::_FileNode* sms
        = m_manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS"));
    if (!sms) {
        m_form.invokeErrorOccurred(tr("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP"));
        return;
    }
    const QDir library(m_cacheDir.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library")));
    const BackupManifest::_FileNode* smsDb
        = m_manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    try {
        MadeFolders::makePathThrow(library.absolutePath());
        BkCacheDb cache(m_cacheDir.absoluteFilePath(QStringLiteral("manifest.db")));
        cache.openThrow();
        BackupCacheCopy copier(m_manifest, cache);
        QList<const BackupManifest::_FileNode*> roots { sms };
        if (auto* att = m_manifest.findNode(QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS")))
            roots.append(att); // message attachments live in the media domain
        if (auto* ab
            = m_manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/AddressBook")))
            roots.append(ab);
        std::function<void(const BackupManifest::_FileNode*)> copy
            = [&](const BackupManifest::_FileNode* node) {
                  if (m_form.cancelled)
                      return;
                  if (node->item.isFolder()) {
                      for (const auto* c : node->children)
                          copy(c);
                      return;
                  }
                  if (node->item.isFile() && !copier.isCompanion(node)) // a log goes with its database
                      copyFileThrow(copier, library, node, node == smsDb);
              };
        for (const auto* root : roots)
            copy(root);
        copier.checkUnchangedThrow();
    } catch (const std::exception& e) {
        g_delDirCascade(library.absolutePath());
        // Nothing of the messages is there to read: told of their database, as it holds once the
        // folder is gone.
        m_faults.add(smsDb ? smsDb->item.backupFileName() : QString(), QString(), e, QString());
        m_form.invokeErrorOccurred(BackupManifest::NotAsWritten::toldNow(e));
        return;
    }
    if (m_form.cancelled)
        return;
    if (m_faults.isEmpty())
        m_form.invokeSucceed(QString());
    else
        m_form.invokeErrorOccurred(m_faults.texts().join(QLatin1Char('\n')));
}

// Copies one file of the folders; a stored copy that is not what the phone wrote, or that cannot be
// read, is noted in the faults with its record and the others go on, unless it is the message
// database itself: nothing of the messages can be read without it.
void ITunesCacheSMSThread::copyFileThrow(
    BackupCacheCopy& copier, const QDir& library, const BackupManifest::_FileNode* node, bool messageDb)
{
    if (m_manifest.storedState(node) == StoredFile::State::Missing)
        return;
    const QString record
        = QStringLiteral("\nRecord: %1 %2").arg(node->item.domain, node->item.relativePath());
    // "Library/SMS/sms.db" lands at file-relay/var/mobile/Library/SMS/sms.db.
    const QString rel = node->item.relativePath().mid(int(qstrlen("Library/")));
    const QString dest = BackupManifest::safeJoinThrow(library, rel);
    try {
        copier.copyThrow(node, dest, false, m_fresh && messageDb ? &m_read : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        if (messageDb)
            throw BackupManifest::NotAsWritten(QString::fromUtf8(e.what()) + record, e.copy());
        m_faults.add(node->item.backupFileName(), QString(), e, record);
    } catch (const BackupManifest::Unreadable& e) {
        // The user may not read it, it is no regular file, the disk fails to read it, or its key
        // in the record cannot be had.
        if (messageDb)
            throw std::runtime_error((QString::fromUtf8(e.what()) + record).toStdString());
        m_faults.add(node->item.backupFileName(), QString(), e, record);
    }
}
