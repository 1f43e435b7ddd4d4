#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// What the threads of this process other than one (the interface thread) show from the outside,
// read from /proc without touching any disk the program writes to: the processor time they used,
// which moves while any of them works, and the file or folder one of them waits on in a call that
// reads or writes. A worker whose time stands still while it waits on a file waits on its disk.
class WorkerSigns
{
public:
    // The calling thread's id, as the system counts threads.
    static pid_t thisThread();
    struct Look {
        // The clock ticks the other threads used so far (utime and stime); -1 where /proc cannot
        // tell.
        qint64 ticks = -1;
        // Each other thread that waits on a file or folder in a call on a descriptor: its id, the
        // call with its arguments and its processor time. While this stays the same, those threads
        // stand still on their disk, whatever the program's other threads do meanwhile.
        QByteArray waits;
    };
    // The signs of the threads besides thread, read in one pass.
    static Look lookBesides(pid_t thread);
    // The folder of a file (or the folder itself) that another thread waits on in a call on a
    // descriptor; empty when none does.
    static QString waitedPlaceBesides(pid_t thread);
};
