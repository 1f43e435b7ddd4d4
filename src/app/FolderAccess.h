#pragma once

#include <QString>

// Whether the system lets the user into a folder, told apart from a folder that is not there: a
// folder without permission answers every look inside as if it were empty or missing, which would
// pass a backup off as "not a backup" or as gone.
class FolderAccess
{
public:
    enum class State { Open, Missing, Refused };
    // Open when the folder's entries may be looked up (and, with list, listed); Missing when no
    // folder stands at path; Refused when the system refuses either, with *text naming the folder
    // and the system's reason: "Cannot read the folder %1: Permission denied." When path cannot
    // even be looked at, the folder named is the one on the way that may not be searched.
    static State stateOf(const QString& path, QString* text = nullptr, bool list = false);
};
