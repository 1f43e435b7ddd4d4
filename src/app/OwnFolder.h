#pragma once

#include <QString>

// One of the program's own folders (its folder under Application Support, its data folder): its
// owner's alone, as ssh and GnuPG keep theirs. A link standing at the name is the user's (a data
// folder moved to another disk): what it leads to is never changed through it.
class OwnFolder
{
public:
    // Makes path with mode 700, so that it never exists open; the folders above it are the user's,
    // made as the user's umask has them. False when no folder stands there, with *why naming the
    // folder that could not be made and the system's reason, as MadeFolders::makePath() does.
    static bool make(const QString& path, QString* why = nullptr);

    // What close found at path.
    enum class Found { Ours, Foreign, Other };
    // Closes path to group and others when an earlier version (or a road that made it again after
    // it was removed) left it open; then also what it holds, once: others may have written into it,
    // and what belongs to another user is taken out of the program's way. Foreign: the folder, the
    // link at its name or the folder that link leads to belongs to another user, who may read what
    // the program keeps there. Never fatal: a failure is logged with its reason, what is not a
    // change (a link, a failure) only when first.
    static Found close(const QString& path, bool first);
};
