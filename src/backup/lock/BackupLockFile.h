#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <sys/types.h>

// The hold of a write on a backup folder whose file system cannot lock it (see BackupFolderLock):
// a file beside the record of a write, naming the host and the process that holds it, made whole
// under a temporary name of its maker and linked into place (made with O_CREAT|O_EXCL and filled
// there where the file system has no hard links). Only one process can make it; the others wait
// while that process runs. A stale file is removed only in a way its maker can see: moved away and
// looked at once more, so that one filled meanwhile goes back.
//
// A file whose holder is gone is taken over: one that names a process of this host that has ended
// (or another process that now has its number, or one from before the host started again), or one
// that cannot show a holder and stays unchanged for a while: it names nobody (empty, not this
// program's text, not a regular file: its maker was stopped between making and filling it), or it
// gives no start time for the process it names where this host can tell one (any process may have
// that number now). Takers of the same stale file go one at a time through a second such file, so
// that no taker removes a file another has just made. A file from another host (or from another
// process space of this one, as a sandbox or a container has) is never taken over: it may be
// writing, and only the user can tell.
class BackupLockFile
{
public:
    enum class Result {
        Held,
        Busy, // a live holder has it; try again later
        Unusable, // the folder takes no new file (read-only): there is nothing to hold, nor to write
        Refused, // it cannot be held without the user (another host's, or in the way): see why()
    };

    static QString fileName();
    // How long a file that names nobody must stay unchanged before it is taken as stale.
    static constexpr std::chrono::seconds kStill { 3 };

    // folder only names the backup in what is said.
    explicit BackupLockFile(QString folder);
    // Removes the file while it is still the one this made.
    ~BackupLockFile();
    BackupLockFile(const BackupLockFile&) = delete;
    BackupLockFile& operator=(const BackupLockFile&) = delete;

    // Tries once to make the file in the folder open as dirFd; never waits.
    Result tryTake(int dirFd);
    QString why() const { return m_why; }
    // After Held: whether the file at the name is still the one this made (no other program has
    // removed or replaced it).
    bool stillHeld() const;
    // After Busy for a live holder (of the file, or of a taker's second file): what the wait is for,
    // naming the process, its host and the file, in the user's language; else empty.
    QString waitText() const { return m_waitText; }

    // Called when a file judged stale is about to be taken over (tests stop a taker there).
    static void setBeforeTakeOver(std::function<void()> hook);
    // Called when a taker has looked at a stale file for the last time, right before it removes it.
    static void setBeforeRemove(std::function<void()> hook);
    // Called when this process has made its file and is about to hold it at its name.
    static void setBeforePlace(std::function<void()> hook);

    // What stands at a name of the folder, as far as this needs it to tell a change.
    struct Found {
        bool present = false;
        mode_t type = 0;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        struct timespec mtime {
        };
        struct timespec ctime {
        };
        bool readable = true; // a regular file whose bytes could be read
        int readError = 0;
        QByteArray content; // its first bytes
        bool sameAs(const Found& other) const;
    };

private:
    enum class Step { Done, Again };
    // A name seen unchanged since a moment of this process's own clock (never the file's times).
    struct Watch {
        Found found;
        std::chrono::steady_clock::time_point since;
        bool set = false;
        bool stillFor(const Found& now, std::chrono::steady_clock::duration wait);
    };

    Result tryOnce(int dirFd, Step& step);
    Result fill(int dirFd, int fd, bool whole);
    Result judge(int dirFd, Step& step);
    Result takeOver(int dirFd, const Found& stale, const QByteArray& whose, Step& step);
    bool removeStale(int dirFd, const Found& stale, const QByteArray& whose);
    Result judgeBreaker(int dirFd, Step& step);
    Result refuse(const QString& why);
    Result inTheWay(const char* name, int error);
    Result cannotMake(const char* name, int error);

    QString m_folder;
    QString m_why;
    QString m_waitText;
    int m_fd = -1;
    int m_dirFd = -1; // the folder the held file is in, kept for its removal
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    Watch m_lockWatch;
    Watch m_breakWatch;
    std::chrono::steady_clock::time_point m_nextLook;
};
