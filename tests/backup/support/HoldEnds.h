#pragma once

#include "backup/lock/BackupFolderLock.h"

// Watches where the holds on backup folders end while it lives: the lock call each end makes goes
// through it to the system's, and ends on the window's thread are counted apart. One at a time.
class HoldEnds
{
public:
    HoldEnds();
    ~HoldEnds();
    HoldEnds(const HoldEnds&) = delete;
    HoldEnds& operator=(const HoldEnds&) = delete;

    int onWindowThread() const;
    int elsewhere() const;

private:
    BackupFolderLock::LockCall m_before;
};
