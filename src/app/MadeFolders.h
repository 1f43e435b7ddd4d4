#pragma once

#include "app/HeldFolder.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <set>
#include <sys/types.h>
#include <utility>
#include <vector>

// The folders one run (an extraction, a save into a new store) makes under its destination, so that
// a run cancelled or failed can take back those that hold nothing. The run holds the deepest folder
// that stood before it and makes every other from there (see HeldFolder): a folder another program
// swaps for a link meanwhile gets nothing. Only a folder the run made is removed, only while it is
// still that folder (the same device and inode, not another made in its place) and empty; the way
// down to it starts at the folder held and never follows a link.
class MadeFolders
{
public:
    // Makes path with its missing parents, keeping nothing. False when no folder stands at path
    // afterwards, with *why naming the folder that could not be made and the system's reason:
    // "Cannot make the folder %1: No space left on device."; errno then holds that reason. A link on
    // the way that another user put in a folder everyone may write into is not followed (see
    // PathWalk): the text names it, and errno is EACCES.
    static bool makePath(const QString& path, QString* why);
    // The same, throwing std::runtime_error with that text.
    static void makePathThrow(const QString& path);
    // The same, holding the folder at path; invalid on failure. *refused, when given, names a link
    // on the way that was not followed (the reason alone; empty for any other failure).
    static HeldFolder makeHeld(const QString& path, QString* why, QString* refused = nullptr);
    // "Cannot make the folder <folder>: <the system's reason for error>."
    static QString failureText(const QString& folder, int error);

    // Makes the destination with its missing parents and holds it (see destination()); those it
    // makes count as made by the run. False with *why set as makePath() sets it. The destination, and
    // each folder that make() takes as it stood, lose the temporaries a killed run left in them (see
    // OutputFile::removeLeftovers), once in the run.
    bool makeDestination(const QString& dest, QString* why = nullptr);
    // The destination made or found by makeDestination; invalid before.
    const HeldFolder& destination() const { return m_dest; }
    // Makes the folder name in parent, a folder below the destination, and holds it; *made tells
    // whether this call made it (else the folder that stood there is taken). Invalid, with errno
    // set, when none can be made or held (ENOTDIR: a link or a file stands there).
    HeldFolder make(const HeldFolder& parent, const QString& name, bool* made = nullptr);
    // Removes the folders made that hold nothing, innermost first; returns how many went.
    int removeEmpty();

    // For tests: called with each folder a run made, once it is held and before anything is
    // written into it (another program may move it then). Set while no run is under way.
    static void setAfterMake(std::function<void(const QString& path)> hook);

private:
    struct Made {
        QByteArray relative; // below m_root, its parts joined by '/'
        dev_t dev;
        ino_t ino;
    };
    bool removeOne(const Made& made) const;
    bool holdDestination(const QString& dest, QString* why);
    void clearLeftovers(const HeldFolder& folder);

    HeldFolder m_root; // the deepest folder that stood before the run
    HeldFolder m_dest;
    QString m_refused; // why a link on the way to the destination was not followed
    std::vector<Made> m_made; // in the order made: a folder after the one it is in
    std::set<std::pair<dev_t, ino_t>> m_cleared; // of leftovers in this run
};
