#pragma once

#include <QString>
#include <memory>

// The disks (file systems) a task made new files on, so that it tells success only once those
// files are on the disk: one sync of each disk at the end, never one per file (an extraction makes
// tens of thousands, and a disk syncs them all at once far faster). OutputFile notes each file it
// makes for the task of the calling thread; the result of a progress dialog's task syncs them.
// A disk is opened when its first new file is made: its sync then tells a write-back the disk failed
// from that moment on, even when another program asked first.
class WrittenDisks
{
public:
    struct Set;
    using SyncCall = int (*)(int fd);

    // Notes the disk of fd, a file just made that is to be path, for the calling thread's task;
    // folder, when given, is a descriptor of the folder it is made in.
    static void note(int fd, const QString& path, int folder = -1);
    // Syncs the disks noted for the calling thread's task and forgets them: false with *error set
    // ("Cannot write <path> to the disk: <the system's reason>", the file, or the deepest folder
    // that holds the files noted on that disk) when a sync failed.
    static bool syncThisThread(QString* error);
    // Forgets them unsynced: the task ended without success.
    static void forgetThisThread();
    // The calling thread's own disks, for its helpers (see Helper).
    static std::shared_ptr<Set> ofThisThread();
    // The call that syncs a disk, given a descriptor on it (syncfs(2)); returns the one before.
    static SyncCall setSyncCall(SyncCall call);

    // While it lasts, the files the calling thread makes are noted for the task it helps (a pool
    // thread running one of that task's steps).
    class Helper
    {
    public:
        explicit Helper(std::shared_ptr<Set> task);
        ~Helper();
        Helper(const Helper&) = delete;
        Helper& operator=(const Helper&) = delete;

    private:
        std::shared_ptr<Set> m_before;
    };

    // While it lasts, the files the calling thread makes are the program's own (a cache, a temporary
    // copy) and are noted for no task: nothing waits for them to reach the disk.
    class Unnoted
    {
    public:
        Unnoted();
        ~Unnoted();
        Unnoted(const Unnoted&) = delete;
        Unnoted& operator=(const Unnoted&) = delete;
    };
};
