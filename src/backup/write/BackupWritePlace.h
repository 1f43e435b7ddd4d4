#pragma once

#include "backup/ContentDigest.h"
#include "backup/write/BackupWriteFolder.h"
#include "backup/write/BackupWriteNames.h"

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>
#include <sys/types.h>

struct stat;

// A file a write into a backup records, with its temporary and its old file kept aside, reached
// through their folder opened from the held backup folder down at each step, each a real folder,
// never a link, and still the one first seen (BackupWriteFolder). Names are checked when they are
// changed, not once before: a link that settling itself puts in place, or one planted or swapped in
// on the way, never leads a change out of the backup. Only regular files are renamed or removed.
// What a name holds is read once and remembered until this place changes it.
class BackupWritePlace
{
public:
    // The names of a recorded file: the target itself, its temporary and its old file kept aside.
    // The temporary's is that of the write (see BackupWriteNames::tempOf), this the shared one.
    static constexpr const char* kTarget = "";
    static constexpr const char* kTemp = BackupWriteNames::kTempSuffix;
    static constexpr const char* kAside = BackupWriteNames::kAsideSuffix;

    enum Kind { Absent, Regular, Other };

    // tempSuffix: what the write's temporaries add to their targets' names.
    BackupWritePlace(
        const BackupWriteFolder& folder, const QString& path, const QByteArray& tempSuffix = kTemp);
    ~BackupWritePlace();
    BackupWritePlace(const BackupWritePlace&) = delete;
    BackupWritePlace& operator=(const BackupWritePlace&) = delete;

    // A recorded name that stays inside the backup folder, links followed; empty (and logged) for
    // any other. A record is read whenever a backup is opened: it must never reach the user's other
    // files.
    static QString inside(const QDir& dir, const QString& relative);
    // Logs that a name the record of an earlier write into dir gives is left as it is, and why.
    static void leftAlone(const QDir& dir, const QString& relative, const char* why);

    // The path inside the backup folder, as the log names it; with a suffix, that name's.
    const QString& relative() const { return m_relative; }
    QString relative(const char* suffix) const { return shown(suffix); }
    // The folder holding the names, relative to the backup folder ("" for the folder itself).
    QString folder() const;
    // False when a folder on the way is missing or is not a real folder.
    bool reached() const { return m_reached; }
    // Whether a link or a file (or another folder than the one first seen) stands where a folder
    // on the way should be.
    bool blocked() const { return m_blocked; }
    // Whether something could not be looked at or changed (as opposed to being left alone).
    bool failed() const { return m_failed; }
    // True for a regular file; what is neither that nor absent is logged and left alone.
    bool changeable(const char* suffix);
    bool has(const char* suffix) { return kind(suffix) != Absent; }
    // Removes a regular file; true when there is none (anymore) or it is left alone.
    bool remove(const char* suffix);
    // Renames the regular file from over the name to (which holds no folder).
    bool move(const char* from, const char* to);
    // The old file kept aside back over the target; a second name of the target just goes.
    bool putBack();
    // The content of a regular file, by the digest of the sum it is compared with; unknown for any
    // other (failed() tells a read error).
    ContentDigest::Sum sum(const char* suffix, ContentDigest::Kind digest);
    ino_t inode(const char* suffix);
    // Whether both names are regular files and one and the same file.
    bool sameFile(const char* a, const char* b);
    // The folder's changes of names on the disk.
    bool sync();
    // Removes the named folder when it is a real, empty folder.
    void removeFolder();

private:
    QByteArray suffixOf(const char* suffix) const;
    QByteArray name(const char* suffix) const { return m_leaf + suffixOf(suffix); }
    // The name with suffix as the log gives it, relative to the backup folder.
    QString shown(const char* suffix) const { return m_relative + QString::fromUtf8(suffixOf(suffix)); }
    // Logs a step that failed, with the system's reason.
    void cannot(const QString& what, int error) const;
    void cannot(const QString& what, const QString& why) const;
    Kind kind(const char* suffix, struct stat* st = nullptr);
    void changed() { m_sums.clear(); }
    // The folder of the names, reached again from the backup folder (no descriptor when it cannot
    // be, and the reason is logged once).
    BackupWriteFolder::Parent here();
    void noteUnreached(const BackupWriteFolder::Parent& p);

    const BackupWriteFolder& m_folder;
    QDir m_dir;
    QString m_path;
    QString m_relative;
    QByteArray m_leaf;
    QByteArray m_tempSuffix;
    bool m_reached = false;
    bool m_failed = false;
    bool m_blocked = false;
    QList<QByteArray> m_logged;
    QHash<QByteArray, ContentDigest::Sum> m_sums; // by suffix and digest
};
