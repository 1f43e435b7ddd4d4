#include "backup/support/HoldEnds.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <sys/file.h>

namespace
{
std::atomic<int> g_onWindowThread { 0 };
std::atomic<int> g_elsewhere { 0 };

int watchedLock(int fd, int operation)
{
    if ((operation & ~LOCK_NB) == LOCK_UN)
        ++(QThread::currentThread() == qApp->thread() ? g_onWindowThread : g_elsewhere);
    return ::flock(fd, operation);
}
} // namespace

HoldEnds::HoldEnds()
{
    g_onWindowThread = 0;
    g_elsewhere = 0;
    m_before = BackupFolderLock::setLockCall(watchedLock);
}

HoldEnds::~HoldEnds()
{
    BackupFolderLock::setLockCall(m_before);
}

int HoldEnds::onWindowThread() const
{
    return g_onWindowThread;
}

int HoldEnds::elsewhere() const
{
    return g_elsewhere;
}
