#pragma once

#include <QString>

// Takes the local message store out of a local database folder: the message database with its
// attachment folder and the store of recovered messages. The folder's other stores (contacts,
// calls, notes...) stay.
class LocalMessageStoreRemoval
{
public:
    // From the held folders on the way (the user's own links followed, another user's link in a
    // folder everyone may write into refused by name; nothing below followed), the store of
    // recovered messages as StoreFileRemoval takes a store (another user's file there stays). True
    // when none of the user's message store stands there afterwards; throws "Cannot write <folder>:
    // <why>" when the way is refused or cannot be walked.
    static bool removeThrow(const QString& dataDir);
};
