#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QHash>
#include <QStringList>
#include <QThread>
#include <memory>

class BackupCacheCopy;
class BackupFolderLock;
class BkCacheDb;
class KeptPaths;
class ProgressForm;

// Copies a backup's message folder ("Library/SMS") and address book folder ("Library/AddressBook")
// into the backup's cache folder under "file-relay/var/mobile/Library", decrypted when needed;
// files the cache holds from the very same stored files are not copied again. Each name is kept as
// the readers of the messages look for it (KeptFileName: the phone's own where the disk takes it,
// else fitted: a name too long for a disk is cut, one with characters a disk refuses goes without
// them, each marked; one the disk finds another record's entry by is marked too). A file whose stored copy
// is not what the phone wrote, or cannot be read (the user may not read it, a disk's read error), or
// whose name or path this disk cannot hold even so, or whose place another record's copy took (a
// disk that ignores case, one path in two domains), ends the run with an error that names it and its
// record once the others are copied; the message database, copied first, ends it at once, and the
// copied folders go (the error then says no copy of its bytes was kept). The cache ("manifest.db") keeps
// which copies are not what the phone wrote, for the pages and the next run; one that could not be read has
// no copy there, and the next run tries it again. A cache made before it recorded where each copy lies is
// made anew.
class ITunesCacheSMSThread : public QThread
{
    Q_OBJECT
public:
    ITunesCacheSMSThread(BackupManifest& manifest, ProgressForm& form, QObject* parent = nullptr);
    ~ITunesCacheSMSThread() override;

    // Whether the backup holds a message folder ("Library/SMS") to copy; a run over a backup
    // without one reports "Found no message database file in this iTunes backup.".
    static bool holdsMessages(const BackupManifest& manifest);
    // The backup's cache folder: "itunes_cache"/<dirPathMd5> in the data folder.
    QDir cacheDir() const { return m_cacheDir; }
    // Copies the message database again whatever the cache holds: a road that writes it back into
    // the backup starts from the backup's current file. Such a run first takes the write's
    // exclusive hold of the backup folder (its wait shown in the form) and settles a write an
    // earlier run left unfinished, before anything is read.
    void setFresh(bool fresh) { m_fresh = fresh; }
    // After a fresh run: the hold it took, now the calling thread's; null when it took none.
    std::unique_ptr<BackupFolderLock> takeHold();
    // After a fresh run: what the stored message database and its log held as their copies read
    // them, by file name, which the write that replaces them expects to find.
    const QHash<QString, ContentDigest::Sum>& freshlyRead() const { return m_read; }
    // After the run: why files were left out or copied in part, by stored file. A run that ended
    // without the messages has its reason noted for the message database.
    const BackupLoadFaults& faults() const { return m_faults; }

protected:
    void run() override;

private:
    void copyFoldersThrow(
        const QDir& library, const BackupManifest::_FileNode* sms, const BackupManifest::_FileNode* smsDb);
    void copyFileThrow(BackupCacheCopy& copier, KeptPaths& names, const QDir& library,
        const BackupManifest::_FileNode* node, bool messageDb);
    // The hold and the settling of a fresh run; false when the run ends (a failure told).
    bool holdForWrite();
    static void startOverIfUnplacedThrow(BkCacheDb& cache, const QDir& library);
    static QString tooLongText(const QDir& library, const QString& dest);

    BackupManifest& m_manifest;
    ProgressForm& m_form;
    QDir m_cacheDir;
    bool m_fresh = false;
    QHash<QString, ContentDigest::Sum> m_read;
    BackupLoadFaults m_faults;
    std::unique_ptr<BackupFolderLock> m_hold;
};
