#pragma once

#include "app/HeldFolder.h"

#include <QString>
#include <sys/types.h>
#include <vector>

// What one run (an export, a copy) made, each entry known by its device and inode as the run made
// it, so that a run that fails or is cancelled takes back only that: a file another program saves
// beside it meanwhile, or puts at one of its names later, stays. A folder the run made goes only
// once it holds nothing but what the run made; its files go first.
class MadeFiles
{
public:
    // Notes the entry name in folder, just made by this run, by what stands there now; false when
    // nothing does.
    bool note(const HeldFolder& folder, const QString& name);
    // Takes back what was noted, newest first, each only while it is still the entry noted (a
    // folder only when empty); returns how many went. Nothing stays noted.
    int takeBack();
    bool isEmpty() const { return m_made.empty(); }

private:
    struct Made {
        HeldFolder folder;
        QString name;
        dev_t dev;
        ino_t ino;
    };
    std::vector<Made> m_made;
};
