#pragma once

#include "backup/BackupManifest.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <functional>
#include <stdexcept>

class BkCacheDb;
struct stat;

// Copies files of a backup into a cache folder, again whenever the cached copy is not proven to
// come from the very file the backup holds now (same record time, the same stored file: size,
// identity and change times, and for all but pictures and attachments the same content where the
// file system's change times do not prove it; see FileSystemView::changeTimeProves), so a
// backup replaced at the same path, or a database rewritten in place, is never read from an older
// copy. A database goes with its write-ahead log, copied beside it under the same name plus "-wal"
// where SQLite looks for it; a stale log or index of an earlier copy is removed first. A copy whose
// stored file is not what the phone wrote is recorded as such with the cache: reused, it throws
// BackupManifest::NotAsWritten again, as the copy did; made whole again, it loses the mark. A
// stored file that cannot be read (BackupManifest::Unreadable) leaves no copy and is marked with
// the cache as such, never current, so the pages name it and the next copy tries it again. A copy
// whose stored file changed while it was read may be a mix of old and new bytes: it is not kept,
// and the copy fails, telling the user to load the backup again. A copy is current only where it
// was made; one place is never taken by the copies of two records in one copier's run.
class BackupCacheCopy
{
public:
    // Thrown by copyThrow for a copy whose place the copy of another record took in the same run:
    // the same name, or one the disk does not tell apart from it (a disk that ignores case).
    class PlaceTaken : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    BackupCacheCopy(const BackupManifest& manifest, BkCacheDb& cache);
    // Copies node and its write-ahead log to dest without a cache: always.
    static void copyWithLogThrow(
        const BackupManifest& manifest, const BackupManifest::_FileNode* node, const QString& dest);

    // What stored files held as a copy read them, by file name (see BackupManifest::copyFile).
    using Read = QHash<QString, ContentDigest::Sum>;

    // Copies node to dest unless the cached copy is current; always when fresh is true. Throws
    // BackupManifest::NotAsWritten for a copy, new or current, whose stored file is not what the
    // phone wrote. With read, the copy is made afresh, and read gets what node's stored file and
    // its log's held.
    void copyThrow(
        const BackupManifest::_FileNode* node, const QString& dest, bool fresh = false, Read* read = nullptr);
    // Throws, as a copy does, when a stored file this copier copied or found current has changed
    // since: another program wrote into the backup while the road that copies them ran, and the
    // copies may mix two states of it. That file's copy goes. Called when the road has copied all.
    void checkUnchangedThrow();
    // Whether the cache knows node's stored file, as it stands now, is not what the phone wrote.
    bool knownNotAsWritten(const BackupManifest::_FileNode* node);

    // The record of the write-ahead log or index ("-wal", "-shm") of node's database, or null.
    const BackupManifest::_FileNode* companion(
        const BackupManifest::_FileNode* node, const char* suffix) const;
    // Whether node is the "-wal" or "-shm" file of another record (copied with that one).
    bool isCompanion(const BackupManifest::_FileNode* node) const;

    // What identifies a stored file: its size, device, inode and modification and change times.
    static QString stampOf(const QString& path);
    // Called with a stored file's path as a copy reads it (tests write into it there, as another
    // program would while a load reads); null for none.
    static void setWhileReading(std::function<void(const QString& stored)> hook);

private:
    // A stored file's stamp as it stood before a copy, and what an equal stamp after it proves.
    struct Look {
        QString stamp;
        bool changeTimes = false; // its file system sets the change time on every write
        bool settled = false; // its last change lies further back than that time can blur
        bool proves() const { return changeTimes && settled; }
    };
    static Look lookAt(const QString& path);
    static QString changedText(const BackupManifest::_FileNode* node, const QString& stored);
    // A file the road copied or found current: its stored file's stamp then, and its copy.
    struct Taken {
        const BackupManifest::_FileNode* node;
        QString stamp;
        QString dest;
    };
    void throwIfTaken(const BackupManifest::_FileNode* node, const QString& dest) const;
    // Notes a copy the run took, and its place.
    void take(const Taken& taken);
    static QString stampOf(const struct stat& st);
    static void reading(long long total, long long done, void* stored);
    void throwIfChangedWhileRead(const BackupManifest::_FileNode* node, const QString& stored,
        const Look& look, const ContentDigest::Sum& read, const QString& dest) const;
    BackupCacheCopy(const BackupManifest& manifest, BkCacheDb* cache);
    void noteCopy(const BackupManifest::_FileNode* node, const QString& dest) const;
    // Both give the stamp of the stored file they judged in *stamp, when asked.
    bool isCurrent(const BackupManifest::_FileNode* node, const QString& dest, QString* stamp = nullptr);
    bool storedAsCopied(const BackupManifest::_FileNode* node, const QString& copy, QString* stamp = nullptr);
    static QByteArray headOf(const QString& path);
    static ContentDigest::Sum contentOf(const QString& path, ContentDigest::Kind kind);
    void copyOneThrow(const BackupManifest::_FileNode* node, const QString& dest, Read* read);
    void recordThrow(const BackupManifest::_FileNode* node, const QString& stamp, const QString& dest,
        const QString& notAsWritten, const ContentDigest::Sum& content);
    void throwIfMarked(const BackupManifest::_FileNode* node, const QString& dest);
    QString cacheRelative(const QString& dest) const;

    const BackupManifest& m_manifest;
    BkCacheDb* m_cache; // null: nothing is current
    QString m_cacheRoot; // the folder of m_cache, ending in '/'; empty without one
    QList<Taken> m_taken;
    // The places copies took in this run, by name and by the file there (device, inode).
    QHash<QString, const BackupManifest::_FileNode*> m_placeNames;
    QHash<QPair<quint64, quint64>, const BackupManifest::_FileNode*> m_placeFiles;
};
