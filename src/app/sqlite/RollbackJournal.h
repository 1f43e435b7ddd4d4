#pragma once

#include <QString>

// The rollback journal beside a database, as SQLite judges it when it opens the database and no
// other program holds a lock on it: it reaches the journal by its name (through a link), plays back
// one whose first byte is not zero, and takes any other, or none there, as a finished change.
//
// A journal of a change to several databases at once ends with a trailer naming the journal of the
// whole change (the "super-journal"). SQLite plays such a journal back only while a file stands at
// that name, and then opens that file and removes it when no journal it lists is left. The name is
// data of whoever wrote the journal: here it is judged by its lstat alone, never opened, and a copy
// of the journal for SQLite to play back leaves the trailer out. SQLite makes that file beside the
// main database of the change: a name outside the journal's own folder (a path on the phone, say)
// is never looked up, and taken for one that is gone.
class RollbackJournal
{
public:
    enum class State {
        None, // nothing to play back: no file (a dangling link), an empty one, or its first byte zero
        Holds, // a transaction SQLite plays back into the database when it next opens it
        HoldsJoint, // the same, of a change to several databases whose super-journal is still there
        Stale, // of a change to several databases whose super-journal is gone: SQLite drops it unplayed
        NotAFile, // a folder, pipe or device: SQLite can neither play it back nor open the database
        Unreadable, // it cannot be opened or read
        // another user's in a folder everyone may write into (PathWalk::readRefusal): theirs, never
        // read nor played back, whatever it holds
        Foreign,
    };
    static QString pathOf(const QString& dbPath);
    // Never waits on what stands at the journal's name, and never follows the name it holds; *why
    // gets the system's reason when Unreadable, the refusal naming the owner when Foreign. What a
    // super-journal's name was judged is logged.
    static State stateOf(const QString& dbPath, QString* why = nullptr);
    static bool playsBack(State state) { return state == State::Holds || state == State::HoldsJoint; }

    // Copies the journal of dbPath to that of toDbPath (a new file of the owner's alone) as far as
    // SQLite reads it back for the pages its header says the database had, without a trailer that
    // names a super-journal: a journal made huge (or sparse) costs no more than those pages. Only a
    // regular file is read, never another user's in a folder everyone may write into. Empty when done, else
    // "Cannot read <journal>. <why>" or "Cannot write <copy>. <why>" with the system's reason; nothing
    // half-copied stays.
    static QString copy(const QString& dbPath, const QString& toDbPath);
};
