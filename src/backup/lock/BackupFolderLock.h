#pragma once

#include <QDir>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

class BackupLockFile;

// A hold on a backup folder against other programs and windows working on it: shared while
// something reads its stored files, exclusive while a write changes them (or settles one an earlier
// run left). It is a lock (flock) on the folder itself, so it makes no file and works on a folder
// the user can only read; the system drops it when the process ends, however it ends.
//
// Within one process the holds nest: the threads of the process work together, so a shared hold
// is granted at once while the process holds the folder in any way (a restore's exclusive hold
// covers the loads and copies it runs). An exclusive hold waits for the shared holds of the other
// threads to end; the asking thread's own shared holds are given up meanwhile and taken back when
// the exclusive one ends, so what it read before may have changed.
//
// A folder on a file system that cannot lock (no lock support, or locks emulated in a way that
// refuses a folder opened for reading) is read without the lock, said once in the log: holds
// within the process still count. Its exclusive holds take a lock file in it instead (see
// BackupLockFile), so that writes and settling stay one at a time across the processes of this
// program; other programs are not kept out.
class BackupFolderLock
{
public:
    enum class Mode { Shared, Exclusive };

    // The wait was ended by the user; nothing was done.
    struct Cancelled : std::runtime_error {
        Cancelled();
    };

    // Shows a wait longer than a moment: calls tryOnce until it gives true (then returns true), or
    // returns false when the user ends the wait. says gives what the wait waits for as tryOnce last
    // found it, in the user's language: another program or window, or the process a lock file names
    // (see BackupLockFile). Installed by the user interface; without one each thing the wait waits
    // for is said once in the log (on standard error for a program without a log), and the wait goes
    // on until the folder can be held.
    using WaitRunner
        = std::function<bool(const std::function<QString()>& says, const std::function<bool()>& tryOnce)>;
    static void setWaitRunner(WaitRunner runner);
    // What a wait in mode for the folder waits for while no lock file's holder is known, in the
    // user's language.
    static QString waitText(Mode mode, const QString& folder);

    // The call that locks the folder: flock, or in tests one that fails as some file systems do.
    // Returns the one it replaces.
    using LockCall = int (*)(int fd, int operation);
    static LockCall setLockCall(LockCall call);

    // Waits until the folder can be held in mode. Throws Cancelled when the user ends the wait, and
    // std::runtime_error saying why when an exclusive hold cannot take the folder's lock file (one
    // of another host, or one that cannot be made). A folder that cannot be opened is not held:
    // what then reads or writes it fails on its own.
    BackupFolderLock(const QDir& dir, Mode mode);
    // The same for the folder a write holds open at folderFd (dir names it in texts): the path is
    // not looked up again, so a link put in its place meanwhile leads the hold nowhere else.
    BackupFolderLock(const QDir& dir, Mode mode, int folderFd);
    ~BackupFolderLock();
    BackupFolderLock(const BackupFolderLock&) = delete;
    // Where a lock file backs this exclusive hold: its path when it is no longer the one this
    // process made (another program removed or replaced it, and may be writing), else empty.
    QString lostLockFile() const;
    BackupFolderLock& operator=(const BackupFolderLock&) = delete;
    // The hold now counts as the calling thread's, as if that thread had taken it: for a hold a
    // worker took and hands over once it has ended. The thread that took it no longer counts it.
    void handOverToThisThread();

private:
    bool tryAcquire();
    bool backOwnSharedHolds();
    QString waitingFor() const;

    QString m_path;
    Mode m_mode;
    int m_folderFd = -1; // the folder held by the caller, while the constructor runs
    bool m_held = false;
    std::thread::id m_owner; // the thread the hold counts for
    quint64 m_dev = 0;
    quint64 m_ino = 0;
    int m_gaveUp = 0; // own shared holds given up while this exclusive one lasts
    std::unique_ptr<BackupLockFile> m_taking; // the lock file this hold is trying to make
    bool m_lockFileBusy = false; // the last try found the lock file held
    QString m_refusal; // why the lock file cannot be had
};
