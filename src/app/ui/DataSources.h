#pragma once

#include "app/ui/ItemModelBK.h"
#include "backup/BackupManifest.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <functional>

// The one place where the readers and local stores of each data kind meet the application shell:
// what is copied into a backup's cache, how each kind is counted, and the converters of old local
// database files. A kind whose reader this build lacks counts 0.
class DataSources
{
public:
    // The well-known files the first copy brings into a backup's cache, in copy order; a file the
    // backup lacks is a null entry.
    static QList<const BackupManifest::_FileNode*> backupFilesToCache(const BackupManifest& manifest);

    // Whether a file the backup stores, of those the load copies (the message database among
    // them), has no copy in the cache folder: the cache was cleared or lost a file since the load.
    // One the cache knows its stored file, as it stands, is not what the phone wrote is not lacking,
    // nor one whose fault the last load noted (faults: the manifest's loadFaults, as a copy that a
    // load on the window's thread cannot change meanwhile).
    static bool cacheLacksFiles(
        const BackupManifest& manifest, const BackupLoadFaults& faults, const QDir& cacheDir);

    // The count of a database that could not be counted.
    static constexpr qint64 kUnknownCount = -1;

    // Counts every data kind of a loaded backup from its cache folder into the manifest: 0 for a
    // file the backup has no record of, kUnknownCount for one that cannot be counted (damaged, or
    // holding what SQLite or its reader cannot read) and for one the backup lists that the cache
    // does not hold (the backup folder lacks it, or it could not be copied); a fault of its load
    // (BackupManifest::loadFaults) is then marked unread.
    static void countBackup(BackupManifest& manifest, const QDir& cacheDir);
    // The counts as countBackup takes them, in the manifest's order, and the names of the load's
    // faults to mark unread. A kind not counted is kUnknownCount.
    struct BackupCounts {
        qint64 messages = kUnknownCount;
        qint64 contacts = kUnknownCount;
        qint64 voicemail = kUnknownCount;
        qint64 calendarEvents = kUnknownCount;
        qint64 notes = kUnknownCount;
        qint64 callHistory = kUnknownCount;
        qint64 recordings = kUnknownCount;
        qint64 bookmarks = kUnknownCount;
        QStringList unread;
    };
    // The first half of countBackup, which reads the manifest and writes nothing: safe on a worker
    // thread while the window shows the manifest. Once the calling thread's task is cancelled (see
    // TaskCancel) the count under way and those after it stay unknown, never 0.
    static BackupCounts takeBackupCounts(const BackupManifest& manifest, const QDir& cacheDir);
    // For tests: called on the counting thread before each count.
    static void setBeforeEachCount(std::function<void()> hook);
    // The second half: puts counts into the manifest.
    static void putBackupCounts(BackupManifest& manifest, const BackupCounts& counts);
    // The files countBackup reads that the backup lists but its folder does not hold (a copy into
    // the backup that did not end), each a fault of the load that names its stored file and record.
    static BackupLoadFaults unstoredFiles(const BackupManifest& manifest);
    // Copies the stored files that countBackup reads into folder, laid out as a load lays them out
    // in the backup's cache, to count a backup that is not loaded. A file that cannot be copied
    // is left out, as a load leaves it out, and one whose stored copy is not what the phone wrote
    // is kept as a load keeps it; the faults returned name each such file, and each unstoredFiles
    // names, and say why.
    static BackupLoadFaults copyCountedFiles(const BackupManifest& manifest, const QDir& folder);
    // The stored files the page of a data kind (ItemModelBK::Kind...) of a backup reads; none for
    // a kind whose page reads no file of the load (photos, videos, the file tree).
    static QList<const BackupManifest::_FileNode*> backupFilesOfKind(
        const BackupManifest& manifest, int kind);
    // Counts of a kind from a cache folder; faulted: the load found the copy is not what the phone
    // wrote, so one that cannot be read counts kUnknownCount, and is not logged.
    static qint64 countBackupMessages(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupContacts(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupCallHistory(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupCalendarEvents(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupNotes(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupBookmarks(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupVoicemail(const QDir& cacheDir, bool faulted = false);
    static qint64 countBackupRecordings(const QDir& cacheDir, bool faulted = false);

    // Counts the stores of a local database folder, creating the missing ones empty; a store that
    // cannot be counted (not a database, a table missing, a schema SQLite rejects) is kUnknownCount,
    // and logged. Call history only when withCalls is set (the description page does not show it),
    // else kUnknownCount.
    static ItemModelBK::_LocalDbStat countLocalDb(const QDir& folder, bool withCalls);
    static qint64 countLocalDbMessages(const QDir& folder);
    static qint64 countLocalDbContacts(const QDir& folder);
    static qint64 countLocalDbCalls(const QDir& folder);
    static qint64 countLocalDbCalendarEvents(const QDir& folder);
    static qint64 countLocalDbNotes(const QDir& folder);
    static qint64 countLocalDbBookmarks(const QDir& folder);

    // Converters of the older local database layout ("mms.db", "calendar.db"); a converter this
    // build lacks leaves the old file as it is.
    static bool canConvertOldMessages();
    static void convertOldMessagesThrow(const QDir& folder);
    static bool canConvertOldCalendars();
};
