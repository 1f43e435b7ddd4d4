#pragma once

#include "backup/ContentDigest.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <sys/types.h>

// What a write into a backup folder records there before it changes anything, so that a write
// stopped at any point (a crash, a forced quit) is finished or undone by the next one: the files it
// puts in place with the content (size and digest) of each temporary that replaces them and of
// what each held before (or that it did not exist), the folders it makes, and the content of the
// manifest it replaces and of the one whose replacement commits it (BackupWriteRecord). Content,
// unlike inode numbers, survives a copy or a move of the folder. BackupWriteSettlement decides from
// what the folder holds what becomes of a recorded write: no file is removed, replaced or put back
// unless it holds what the record says it should. Only what the record names is ever touched, only
// inside the backup folder and never through a link, so the rest of the user's files stay as they
// are.
class BackupWriteJournal
{
public:
    // One file of the write: where it goes, the content of its staged temporary (unknown while it
    // is not yet staged) and what the target held when the write began.
    struct Entry {
        QString target;
        ContentDigest::Sum staged;
        quint64 tempId = 0; // in a record of an earlier version: the inode of the staged temporary
        ContentDigest::Sum old; // unknown when the write leaves the file as it is, or in older records
        bool existed = true; // false when there was no file
    };

    static QString tempOf(const QString& target);
    // The old file kept while the write is not committed.
    static QString asideOf(const QString& target);

    BackupWriteJournal(const QDir& dir, QString manifestName);

    QList<Entry> files;
    QStringList folders; // folders the write makes, removed again on undo when empty
    ContentDigest::Sum manifestReplaced; // taken when the write starts
    ContentDigest::Sum manifestStaged;

    // Puts the record in the folder, on the disk before anything it describes happens. On failure
    // nothing of it is left.
    void writeThrow() const;
    // Finishes or undoes the write a record in dir describes (or leaves its files as they are when
    // another program has written the backup since), then removes the record. False, with the
    // record kept, when something could not be put back or the write can be neither finished nor
    // undone; a record of a version this build does not know, of a size no write into dir makes, or
    // not well-formed in every line and whole (empty, cut short, damaged), is kept and nothing of it
    // followed, with a line in the log that says why.
    static bool settle(const QDir& dir);
    // settle for the write this process has just committed, without reading the manifest again.
    static bool settleCommitted(const QDir& dir);
    // Settles a write an earlier run left in dir (stopped by a crash or a forced quit) before
    // anything reads the backup, and logs in one line what became of it. False when it could not
    // (the log says why; the caller tells the user), with the files its record names in named
    // (none when the record cannot be read).
    static bool settleLeftover(const QDir& dir, QStringList* named = nullptr);
    // The error of a backup whose earlier write cannot be settled.
    static QString unsettledText(const QDir& dir);
    // Whether dir holds the record of a write (one under way, or one stopped before it ended), or
    // the beginning of one.
    static bool pending(const QDir& dir);
    // Whether something stands at path, a link not followed: how planning, staging and the commit
    // all tell whether a target exists.
    static bool present(const QString& path);

    // Changes of names inside the backup; each reports itself to the hook first. False with errno
    // set on failure.
    static bool rename(const QString& from, const QString& to);
    static bool link(const QString& from, const QString& to);
    static bool removeIfPresent(const QString& path);
    // rename that never replaces what stands at to (EEXIST).
    static bool renameNoReplace(const QString& from, const QString& to);
    // Creates path as a new file of the write, open for writing: what stands at the name (a
    // leftover, a link, a FIFO) is removed as a name first, never followed or opened.
    // Unbuffered, so that a failed write tells the system's reason at once.
    static bool createOwn(QFile& file, const QString& path);
    // The same as a descriptor (-1 with errno set), with the given mode.
    static int createOwnFd(const QString& path, mode_t mode = 0666);
    // Frees the name of target's old copy for this write: anything an earlier write left there is
    // moved to a free name beside it, and the log says where; a second name of target itself goes.
    static bool freeAsideName(const QString& target);
    // Called before each change a write makes inside a backup folder (tests stop the process there).
    static void setBeforeChange(std::function<void()> hook);
    // Tells that hook of a change about to be made.
    static void announce();

    // What settling does with a recorded write: finish it, undo it, undo only the files that still
    // hold what the write staged (it was not committed, and another program's manifest does not
    // describe them), leave the files as they are (another program has written the backup since it
    // was committed), or keep the record, changing nothing, as it can be neither finished nor undone.
    enum class Outcome { NoRecord, Finished, Undone, UndoneWhereStaged, LeftAsIs, Kept };

private:
    // settle, telling what became of the write; committed when the caller knows it was.
    static bool settleRecord(const QDir& dir, Outcome& outcome, bool committed, QStringList* named = nullptr);

    QDir m_dir;
    QString m_manifestName;
};
