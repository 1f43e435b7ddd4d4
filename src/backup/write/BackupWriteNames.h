#pragma once

#include <QFile>
#include <QString>
#include <functional>
#include <sys/types.h>

// The names a write into a backup folder changes: its temporaries and the old files it keeps aside,
// and each change of a name inside the backup, never through a link and never over what another
// program put there unless asked to. Every change reports itself to a hook first, where tests stop
// the process.
class BackupWriteNames
{
public:
    static QString tempOf(const QString& target);
    // The old file kept while the write is not committed.
    static QString asideOf(const QString& target);

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
};
