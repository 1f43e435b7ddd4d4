#pragma once

#include <QFile>
#include <QString>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>

// The names a write into a backup folder changes: its temporaries and the old files it keeps aside,
// and each change of a name, never through a link and never over what another program put there
// unless asked to. Every change reports itself to a hook first, where tests stop the process. A
// write into a backup makes its changes through BackupWriteFolder, from the folder it holds; the
// changes by path here serve the program's own copies.
class BackupWriteNames
{
public:
    // What the names of a write's temporaries and of the old files it keeps aside add to their
    // targets' names.
    static constexpr const char* kTempSuffix = ".qmtmp";
    static constexpr const char* kAsideSuffix = ".qmold";

    // The temporary of target that the write id stages (a name of that write alone); without an id,
    // the one name that writes of earlier versions shared.
    static QString tempOf(const QString& target, const QByteArray& id = {});
    static QByteArray tempSuffix(const QByteArray& id);
    // The old file kept while the write is not committed.
    static QString asideOf(const QString& target);
    // The error of a write into a file another program changed while it was under way.
    static QString changedText(const QString& path);

    // Which file stands at a name, and whether it was written since.
    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        struct timespec mtime {
        };
        struct timespec ctime {
        };
        bool present() const { return size >= 0; }
        bool sameFile(const Stamp& o) const
        {
            return present() && o.present() && dev == o.dev && ino == o.ino;
        }
        // The same file as then, not written since: the same size and times (the change time only
        // when its names were not changed since, which moves it).
        bool unchangedSince(const Stamp& then, bool renamed = false) const;
    };
    // What stands at path, a link not followed; not present when nothing does.
    static Stamp stampOf(const QString& path);
    static Stamp stampOf(int fd);
    // The stamp of what a stat call found.
    static Stamp stampOf(const struct stat& st);

    // Whether something stands at path, a link not followed: how planning, staging and the commit
    // all tell whether a target exists.
    static bool present(const QString& path);

    // Changes of names inside the backup; each reports itself to the hook first. False with errno
    // set on failure.
    static bool rename(const QString& from, const QString& to);
    static bool removeIfPresent(const QString& path);
    // How a file was put in place: by exchanging two names in one step, or by a rename over one.
    enum class Put { Failed, Exchanged, Renamed };
    // The link call every hard link of a write or of its lock file goes through: linkat, or in tests
    // one that fails as on a file system without hard links. Returns the one it replaces.
    using LinkCall = int (*)(int fromDir, const char* from, int toDir, const char* to, int flags);
    static LinkCall setLinkCall(LinkCall call);
    static int linkAt(int fromDir, const char* from, int toDir, const char* to);
    // The call every sync of the writer goes through: fsync, or in tests one that fails as a dying
    // disk's does. Returns the one it replaces.
    using SyncCall = int (*)(int fd);
    static SyncCall setSyncCall(SyncCall call);
    static bool syncFd(int fd);
    // Whether a failed link says that the file system has no hard links.
    static bool noHardLinks(int error);
    // Creates path as a new file of the write, open for writing: what stands at the name (a
    // leftover, a link, a FIFO) is removed as a name first, never followed or opened.
    // Unbuffered, so that a failed write tells the system's reason at once.
    static bool createOwn(QFile& file, const QString& path);
    // The same as a descriptor (-1 with errno set), with the given mode.
    static int createOwnFd(const QString& path, mode_t mode = 0600);
    // Called before each change a write makes inside a backup folder (tests stop the process there).
    static void setBeforeChange(std::function<void()> hook);
    // Tells that hook of a change about to be made.
    static void announce();
};
