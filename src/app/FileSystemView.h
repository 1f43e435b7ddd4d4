#pragma once

#include <QString>
#include <sys/stat.h>

// How the program sees the file systems that files lie on: their kind (statfs(2)) and the status of
// a file (stat(2)). The system's own view unless a test installed another, as a disk of another
// kind shows files.
class FileSystemView
{
public:
    virtual ~FileSystemView();
    // The f_type of the file system path lies on; 0 when it cannot be told.
    virtual long long typeOf(const QString& path) const = 0;
    // The status of the file at path, links followed; false with errno set when there is none.
    virtual bool statOf(const QString& path, struct stat& st) const = 0;

    // The same, from the installed view.
    static long long type(const QString& path);
    static bool stat(const QString& path, struct stat& st);
    // Whether the file system at path sets a file's change time, to the nanosecond, on every write,
    // and no program can set it back (ext4, xfs, btrfs, tmpfs): a change time that has not changed
    // proves that nothing was written. Others (exFAT, FAT, FUSE, network, unknown) keep whole
    // seconds, no change time, or the times another machine or program gives.
    static bool changeTimeProves(const QString& path);

    // Installs a view (not owned; null restores the system's). The view must outlive its
    // installation; install it before any thread looks at a file.
    static void install(const FileSystemView* view);
};
