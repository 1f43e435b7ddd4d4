#pragma once

#include "backup/BackupManifest.h"
#include "backup/ContentDigest.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWriteRecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class BackupFolderLock;
class BackupWriteFolder;
class QFile;
class QTemporaryDir;
class Sqlite3DB;

// Writes files into a backup folder in three steps: stage every file (encrypted when the backup
// is) and the updated manifest as temporaries beside their targets, then commit by renaming them
// into place, the manifest last, in one rename over the old one. The old files stay beside theirs
// until the manifest is committed, and a record of the write (BackupWriteRecord) lets anything not
// committed be rolled back: by this writer on a failure, or, after a crash, by the next opening of
// the backup or write into it. BackupManifest::writeFilesThrow drives it. Every temporary and old
// copy is a new file of this write: what an earlier write left under such a name is removed as a
// name, or, for an old copy, moved to a free name with a word in the log.
//
// The manifest is staged from the one in place, by content: for an encrypted Manifest.db, the copy
// decrypted at loading must be of the file in place. A file the road read before the write (and
// merged into what it writes) must still hold what it read when the write is planned, and the log
// of a plain Manifest.db what the copy of the manifest took in. Just before each target (the
// manifest last) is replaced it must still hold what it held when the write was planned: a program
// that does not take the folder's lock may have changed it meanwhile, and then the write is undone,
// that program's file kept, and the error names it (or, for an encrypted manifest, says to load the
// backup again). Where the file system can exchange two names in one step, each staged file is put
// in place so, and what comes out must be the file checked: one another program put there after the
// check goes back. Each write's temporaries have names of its own (its record gives them), and
// each must still be the file the write staged when it is put in place. Every name the write
// stages, places, keeps aside, removes or syncs is reached from the backup folder as the write holds
// it (BackupWriteFolder): a stored-file folder swapped for a link or another folder meanwhile gets
// nothing, and the write fails saying so.
class BackupWriter
{
public:
    // The device's "mobile" user, owner (user and group) of the files it keeps.
    static constexpr quint32 kMobileUserId = 501;
    static constexpr quint16 kFileMode = MBDBParser::kModeFile | 0644;
    static constexpr quint16 kFolderMode = MBDBParser::kModeFolder | 0755;
    // The "flags" column of Manifest.db's Files table: what a record is.
    static constexpr int kRecordFile = 1;
    static constexpr int kRecordFolder = 2;
    static constexpr int kRecordLink = 4;
    // Protection classes of new files: available after the first unlock, or always.
    static constexpr quint32 kClassUntilFirstUnlock = 3;
    static constexpr quint32 kClassNone = 4;

    // One staged file: what was asked, where it goes and the values of its record.
    struct Staged {
        BackupManifest::WriteRequest req;
        QString target;
        qint64 size = 0; // bytes of the plain file written (before encryption)
        QByteArray keyBlob; // class (4 bytes LE) + wrapped file key; empty for a plain backup
        quint32 protectionClass = 0;
        QByteArray sha1; // of a plain file
    };

    using Progress = std::function<void(int, const QString&)>;
    using Cancelled = std::function<bool()>;

    // cancelled is polled between staged files; mayCommit is asked once, right before the commit
    // changes the first file of the backup: false stops the write (nothing is written), and after
    // true it is no longer cancelled. Without it, cancelled is polled there once more.
    BackupWriter(BackupManifest& manifest, Progress progress, Cancelled cancelled, Cancelled mayCommit = {});
    // Rolls back whatever was staged but not committed.
    ~BackupWriter();
    BackupWriter(const BackupWriter&) = delete;
    BackupWriter& operator=(const BackupWriter&) = delete;

    // Checks that the backup can be written, holds it against other writes and reads until this one
    // ends (see BackupFolderLock); then stages each file to a temporary beside its target.
    // A file already in the backup is skipped unless its request allows overwriting.
    void stageFilesThrow(const QList<BackupManifest::WriteRequest>& items);
    // The manifest with the staged files' records, in the backup's own format, as a temporary.
    void stageManifestThrow();
    // Moves the temporaries into place, the manifest last; on failure everything is put back.
    // Everything staged is on the disk before the first rename. Throws
    // BackupManifest::WriteNotConfirmed when the manifest went in place but the disk did not confirm it.
    void commitThrow();
    void rollBack();
    // Refuses a plain manifest that another program is using, or that holds a change another
    // program stopped in the middle of, as the commit of a write would: for a road that writes into
    // the backup, before it reads or stages anything.
    static void checkNotInUseThrow(BackupManifest& manifest);

    const QList<Staged>& staged() const { return m_staged; }
    // The plain Manifest.db now in the backup (empty for Manifest.mbdb).
    QString newPlainManifestDb() const { return m_newPlainDb; }
    // The folder that holds it as "Manifest.db", taken over by the caller (null for Manifest.mbdb,
    // or once taken).
    std::unique_ptr<QTemporaryDir> takeUpdatedCopy();
    // The time written into the records, Unix seconds.
    quint32 now() const { return m_now; }
    // The content of the manifest the commit put in place.
    ContentDigest::Sum manifestWritten() const { return m_manifestWritten; }

private:
    // A file the commit moves into place.
    struct Replacement {
        QString target;
        QString temp;
        ContentDigest::Sum staged; // of the temporary, taken as it was written
        BackupWriteNames::Stamp written; // the temporary once written
    };

    void planThrow(const QList<BackupManifest::WriteRequest>& items);
    ContentDigest::Sum readReplacedManifestThrow();
    static std::unique_ptr<QTemporaryDir> workFolderThrow();
    void checkFolderThrow(const QString& folder);
    void failIfLink(const QString& path) const;
    BackupWriteRecord::Entry plannedThrow(
        const QString& target, bool overwrite, const ContentDigest::Sum& expected);
    void stageFileThrow(const BackupManifest::WriteRequest& r);
    void encryptInto(
        Staged& s, const BackupManifest::_FileNode* existing, QFile& in, QFile& out, ContentDigest& written);
    void copyInto(Staged& s, QFile& in, QFile& out, ContentDigest& written);
    // The staging of a temporary failed reading in or writing out.
    [[noreturn]] static void failStaging(
        const QFile& in, const QFile& out, const QString& temp, const QString& why);
    Replacement& addReplacement(const QString& target);
    void updateMbdbThrow(const QString& temp, ContentDigest& written);
    void updateManifestDbThrow(const QString& temp, ContentDigest& written);
    void stageManifestDbThrow(const QString& temp, ContentDigest& written);
    void replaceDbRecordThrow(Sqlite3DB& db, const Staged& s);
    void addMissingFoldersThrow(Sqlite3DB& db, const Staged& s);
    void recordStagedThrow();
    void putInPlaceThrow(const Replacement& rep);
    void moveAsideThrow(const QString& target);
    BackupWriteNames::Stamp checkAsideThrow(
        const QString& target, const ContentDigest::Sum& old, bool linked);
    void checkStagedThrow(const Replacement& rep) const;
    void checkTakenOutThrow(const Replacement& rep, const BackupWriteNames::Stamp& old);
    void checkManifestTakenOutThrow(const Replacement& rep);
    void moveLogAsideThrow();
    void checkManifestThrow();
    [[noreturn]] void failManifestChanged();
    // True when the old manifest came out at the temporary's name.
    bool putManifestInPlaceThrow(const Replacement& rep);
    void confirmThrow(const QString& oldManifest);
    [[noreturn]] void failUnconfirmed(const QString& why);
    void checkFoldersThrow() const;
    void checkInUseThrow() const;
    void checkLogThrow() const;
    void checkJournalThrow() const;
    void checkLockFileThrow() const;
    QString staleLog() const;
    QString sharedMemoryOf() const { return m_manifestPath + QStringLiteral("-shm"); }

    BackupManifest& m_manifest;
    Progress m_progress;
    Cancelled m_cancelled;
    Cancelled m_mayCommit;
    std::unique_ptr<BackupWriteFolder> m_folder; // the backup folder, every name reached from it
    std::unique_ptr<BackupFolderLock> m_lock; // from before the record is written until it is removed
    QString m_manifestPath;
    QString m_log; // the log of a plain Manifest.db when the write was planned
    ContentDigest::Sum m_logRead; // what the log held as the manifest was copied (empty: none)
    BackupWriteNames::Stamp m_sharedMemory; // the log's shared memory file then
    BackupWriteNames::Stamp m_manifestChecked; // the manifest in place as its content was checked
    QList<MBDBParser::_MBDBItem> m_mbdbRecords; // of Manifest.mbdb as the write read it
    QHash<QString, BackupWriteRecord::Entry> m_planned; // by target
    QList<Staged> m_staged;
    QList<Replacement> m_replacements;
    std::unique_ptr<BackupWriteRecord> m_record; // once recorded in the backup
    std::unique_ptr<QTemporaryDir> m_work; // holds the plain copy of Manifest.db the write updates
    QString m_newPlainDb;
    ContentDigest::Sum m_manifestWritten;
    quint32 m_now = 0;
    bool m_committed = false;
};
