#pragma once

#include "app/HeldFolder.h"

#include <QString>

// A file layer for the program's own stores: a store and every file SQLite keeps beside it (its
// -journal, -wal and -shm) are opened from the store's held folder (HeldFolder), one name inside it,
// never looked up again by the folder's path and never through a link; and each is held, on the
// very file opened, to the rule for shared folders (PathWalk::refusalIn): another user's file at
// one of those names in a folder everyone may write into is neither written into nor played back.
// SQLite's own layer does the rest unchanged.
class HeldFolderVfs
{
public:
    // Registers the layer on first use; null when SQLite has no default layer to wrap.
    static const char* name();
    // The folder of the store at path, held, the way to it walked as PathWalk walks it (the user's own
    // links followed, a link at the store's name too; another user's in a folder everyone may write
    // into refused); *name is the store's name inside it and *stood whether the store stands there.
    // Throws "Cannot write <path>: <why>".
    static HeldFolder holdStoreThrow(const QString& path, QString* name, bool* stood);
    // The name to give SQLite, with name(), for the file name inside folder. Valid while folder is held.
    static QString pathOf(const HeldFolder& folder, const QString& name);
    // Why the file name inside folder, or one SQLite keeps beside it, may not be opened: one that is
    // no file (a folder, a FIFO), or another user's in a folder everyone may write into. Empty when
    // they may.
    static QString refusal(const HeldFolder& folder, const QString& name);
    // The text for path, a folder, a FIFO or a link, standing where SQLite looks for a file that
    // goes with a database.
    static QString notAFileText(const QString& path);
    // The path a text names for a file SQLite was given: for one given through pathOf(), where its
    // held folder stands; any other as it is.
    static QString shownPath(const char* path);
    // Why the last open of this thread through the layer was refused, and forgets it; empty when none was.
    static QString takeRefusal();
};
