#pragma once

#include <QString>

// The rollback journal beside a database, as SQLite judges it when it opens the database and no
// other program holds a lock on it: it reaches the journal by its name (through a link), plays back
// one whose first byte is not zero, and takes any other, or none there, as a finished change.
class RollbackJournal
{
public:
    enum class State {
        None, // nothing to play back: no file (a dangling link), an empty one, or its first byte zero
        Holds, // a transaction SQLite plays back into the database when it next opens it
        NotAFile, // a folder, pipe or device: SQLite can neither play it back nor open the database
        Unreadable, // it cannot be opened or read
    };
    static QString pathOf(const QString& dbPath);
    // Never waits on what stands at the journal's name; *why gets the system's reason when
    // Unreadable.
    static State stateOf(const QString& dbPath, QString* why = nullptr);
};
