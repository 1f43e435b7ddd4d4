#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>
#include <vector>

// The folders one extraction makes under its destination, so that a cancelled run can take back
// those that hold nothing. Only a folder the run made is removed, only while it is still that
// folder (not another made in its place) and empty; the way down to it never follows a link.
class MadeFolders
{
public:
    // Makes the destination with its missing parents; those it makes count as made by the run, and
    // every folder made afterwards must lie below it.
    void makeDestination(const QString& dest);
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
