#include "backup/ui/ITunesCacheSMSThread.h"

#include "app/DataPaths.h"
#include "app/FileNameFit.h"
#include "app/KeptPaths.h"
#include "app/MadeFolders.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/StoredFile.h"
#include "backup/lock/BackupFolderLock.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <unistd.h>

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest& manifest, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_form(form)
    , m_cacheDir(BkCacheDb::cacheDir().absoluteFilePath(manifest.dirPathMd5()))
{
}

ITunesCacheSMSThread::~ITunesCacheSMSThread() = default;

std::unique_ptr<BackupFolderLock> ITunesCacheSMSThread::takeHold()
{
    if (m_hold)
        m_hold->handOverToThisThread();
    return std::move(m_hold);
}

bool ITunesCacheSMSThread::holdForWrite()
{
    try {
        m_hold = std::make_unique<BackupFolderLock>(m_manifest.dir, BackupFolderLock::Mode::Exclusive);
        m_manifest.settleEarlierWriteThrow();
        return true;
    } catch (const BackupFolderLock::Cancelled&) {
        return false; // the form's cancel ended the wait
    } catch (const std::exception& e) {
        m_hold.reset();
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
        return false;
    }
}

bool ITunesCacheSMSThread::holdsMessages(const BackupManifest& manifest)
{
    return manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS")) != nullptr;
}

void ITunesCacheSMSThread::run()
{
    m_form.invokeUpdateProgress(tr("IDS_LOADING_ITUNES_BACKUP"), -1);
    if (m_fresh && !holdForWrite())
        return;
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
        copyFoldersThrow(library, sms, smsDb);
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

void ITunesCacheSMSThread::copyFoldersThrow(
    const QDir& library, const BackupManifest::_FileNode* sms, const BackupManifest::_FileNode* smsDb)
{
    MadeFolders::makePathThrow(library.absolutePath());
    BkCacheDb cache(m_cacheDir.absoluteFilePath(QStringLiteral("manifest.db")));
    startOverIfUnplacedThrow(cache, library);
    BackupCacheCopy copier(m_manifest, cache);
    KeptPaths names(library.absolutePath());
    // The message database first: no other record's copy takes its place.
    if (smsDb && smsDb->item.isFile())
        copyFileThrow(copier, names, library, smsDb, true);
    // Message attachments live in the media domain: where the home domain names one of the same
    // path, the media domain's keeps the place.
    QList<const BackupManifest::_FileNode*> roots;
    if (auto* att = m_manifest.findNode(QStringLiteral("MediaDomain"), QStringLiteral("Library/SMS")))
        roots.append(att);
    roots.append(sms);
    if (auto* ab = m_manifest.findNode(QStringLiteral("HomeDomain"), QStringLiteral("Library/AddressBook")))
        roots.append(ab);
    std::function<void(const BackupManifest::_FileNode*)> copy = [&](const BackupManifest::_FileNode* node) {
        if (m_form.cancelled)
            return;
        if (node->item.isFolder()) {
            for (const auto* c : node->children)
                copy(c);
            return;
        }
        // A log goes with its database.
        if (node->item.isFile() && node != smsDb && !copier.isCompanion(node))
            copyFileThrow(copier, names, library, node, false);
    };
    for (const auto* root : roots)
        copy(root);
    copier.checkUnchangedThrow();
}

// Copies one file of the folders; a stored copy that is not what the phone wrote, or that cannot be
// read, is noted in the faults with its record and the others go on, unless it is the message
// database itself: nothing of the messages can be read without it. So is a file whose name this disk
// cannot hold, or that leads out of the folder.
void ITunesCacheSMSThread::copyFileThrow(BackupCacheCopy& copier, KeptPaths& names, const QDir& library,
    const BackupManifest::_FileNode* node, bool messageDb)
{
    if (m_manifest.storedState(node) == StoredFile::State::Missing)
        return;
    const QString record
        = QStringLiteral("\nRecord: %1 %2").arg(node->item.domain, node->item.relativePath());
    // "Library/SMS/sms.db" lands at file-relay/var/mobile/Library/SMS/sms.db, each name as the
    // readers of the messages look for it (one too long for a disk is cut).
    const QString rel = node->item.relativePath().mid(int(qstrlen("Library/")));
    QString dest;
    try {
        // Judged first as ever: a path that leads out of the folder is refused by name.
        BackupManifest::safeJoinThrow(library, FileNameFit::localPath(rel));
        QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        parts.removeAll(QStringLiteral("."));
        dest = library.absoluteFilePath(names.pathForWrite(parts.join(QLatin1Char('/'))));
        copier.copyThrow(node, dest, false, m_fresh && messageDb ? &m_read : nullptr);
    } catch (const BackupManifest::NotAsWritten& e) {
        if (messageDb)
            throw BackupManifest::NotAsWritten(QString::fromUtf8(e.what()) + record, e.copy());
        m_faults.add(node->item.backupFileName(), QString(), e, record);
    } catch (const BackupCacheCopy::PlaceTaken& e) {
        if (messageDb)
            throw;
        m_faults.add(node->item.backupFileName(), QString::fromUtf8(e.what()) + record);
    } catch (const BackupManifest::Unreadable& e) {
        // The user may not read it, it is no regular file, the disk fails to read it, or its key
        // in the record cannot be had.
        if (messageDb)
            throw std::runtime_error((QString::fromUtf8(e.what()) + record).toStdString());
        m_faults.add(node->item.backupFileName(), QString(), e, record);
    } catch (const std::exception& e) {
        const QString refused = dest.isEmpty() ? QString::fromUtf8(e.what()) : tooLongText(library, dest);
        if (messageDb || refused.isEmpty())
            throw;
        m_faults.add(node->item.backupFileName(), refused + record);
    }
}

// A cache an earlier version made may hold the copies of two records at one place, each with the
// other's bytes: its message folder's copies are all made again.
void ITunesCacheSMSThread::startOverIfUnplacedThrow(BkCacheDb& cache, const QDir& library)
{
    if (cache.placesAll())
        return;
    g_delDirCascade(library.absolutePath());
    cache.forgetAllThrow();
    MadeFolders::makePathThrow(library.absolutePath());
}

// Why the disk cannot hold a file at dest below library when its name or path is too long for it;
// empty when neither is. The limits are those of the deepest folder there.
QString ITunesCacheSMSThread::tooLongText(const QDir& library, const QString& dest)
{
    QString folder = QFileInfo(dest).absolutePath();
    while (!QFileInfo(folder).isDir() && folder.size() > 1)
        folder = QFileInfo(folder).absolutePath();
    const QByteArray at = QFile::encodeName(folder);
    const long nameMax = ::pathconf(at.constData(), _PC_NAME_MAX);
    const long pathMax = ::pathconf(at.constData(), _PC_PATH_MAX);
    for (const QString& name : library.relativeFilePath(dest).split(QLatin1Char('/')))
        if (nameMax > 0 && QFile::encodeName(name).size() > nameMax)
            return QStringLiteral(
                "Cannot copy this file: its name is longer than the disk allows (%1 bytes).")
                .arg(nameMax);
    if (pathMax > 0 && QFile::encodeName(dest).size() >= pathMax)
        return QStringLiteral("Cannot copy this file: its path in the program's data folder would be "
                              "longer than the system allows (%1 bytes).")
            .arg(pathMax);
    return QString();
}
