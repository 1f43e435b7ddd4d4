#pragma once

#include <QString>

class HeldFolder;

// Takes one of the program's SQLite stores out of its held folder: the store's file and the files
// SQLite keeps beside it (-journal, -wal, -shm), each by its name inside, never through a link.
// Only the user's own go: run as root, another user's file at one of those names stays.
class StoreFileRemoval
{
public:
    // Removes the user's own files SQLite keeps beside the store name inside folder (a file, or a
    // link itself, never what it leads to): a journal left beside a store that is gone would be
    // played into the next one of its name. False, with errno set, when one of them stays.
    static bool removeCompanions(const HeldFolder& folder, const QString& name);
    // The store name inside folder, when the user's own, with its companions. False, with errno
    // set, when one of the user's own stays.
    static bool removeOwn(const HeldFolder& folder, const QString& name);
};
