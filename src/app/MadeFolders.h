#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>
#include <vector>

// The folders one run (an extraction, a save into a new store) makes under its destination, so that
// a run cancelled or failed can take back those that hold nothing. Only a folder the run made is
// removed, only while it is still that folder (not another made in its place) and empty; the way
// down to it never follows a link.
class MadeFolders
{
public:
    // Makes path with its missing parents, keeping nothing. False when no folder stands at path
    // afterwards, with *why naming the folder that could not be made and the system's reason:
    // "Cannot make the folder %1: No space left on device."; errno then holds that reason.
    static bool makePath(const QString& path, QString* why);
    // The same, throwing std::runtime_error with that text.
    static void makePathThrow(const QString& path);
    // "Cannot make the folder <folder>: <the system's reason for error>."
    static QString failureText(const QString& folder, int error);

    // Makes the destination with its missing parents; those it makes count as made by the run, and
    // every folder made afterwards must lie below it. False with *why set as makePath() sets it.
    bool makeDestination(const QString& dest, QString* why = nullptr);
    // Makes the folder path; true when this call made it (false when something stood there).
    bool make(const QString& path);
    // Removes the folders made that hold nothing, innermost first; returns how many went.
    int removeEmpty();

private:
    struct Made {
        QByteArray relative; // below m_root, its parts joined by '/'
        dev_t dev;
        ino_t ino;
    };
    bool removeOne(int rootFd, const Made& made) const;

    QString m_root; // the deepest folder that stood before the run
    std::vector<Made> m_made; // in the order made: a folder after the one it is in
};
