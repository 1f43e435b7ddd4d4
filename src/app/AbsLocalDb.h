#pragma once

#include "app/sqlite/Sqlite3DB.h"

#include <QList>
#include <QString>

// Base of the program's own local stores: one file per data kind inside a local database folder.
// The connection opens on first use through the subclass's open().
class AbsLocalDb
{
public:
    explicit AbsLocalDb(QString path);
    virtual ~AbsLocalDb() = default;
    AbsLocalDb(const AbsLocalDb&) = delete;
    AbsLocalDb& operator=(const AbsLocalDb&) = delete;

    // Opens the file at path into db, creating it with the store's schema when missing (or holding
    // no table); throws.
    virtual void open() = 0;

    bool isOpened() const { return db.handle != nullptr; }
    void close() { db.close(); }

    // Opens the store when needed, then begins a transaction; a begin inside an open edit nests.
    void beginEdit();
    // Opens the store when needed, then commits (true) or rolls back (false) the innermost edit,
    // together with any transaction begun inside it and left open (by a writer that threw, say),
    // so a rolled-back edit never leaves the store inside a transaction. Without an edit of its
    // own, it ends the connection's current transaction.
    void endEdit(bool commit);

    // Why an operation on the store that threw e failed: where the store's file failed (a read, a
    // write, a full disk) and e's text does not name it, "Cannot write <path>. <the system's reason,
    // or SQLite's>"; else e's own text. Taken before a roll back, which may change what the file keeps.
    QString failureText(const std::exception& e) const;

    QString path;
    Sqlite3DB db;

protected:
    // Opens the store at path with SQLite's open flags (2 read-write, 6 also making it): the way to
    // it walked as PathWalk walks it (the user's own links followed, another user's in a folder
    // everyone may write into refused), its folder held, and the store opened from there with the
    // files SQLite keeps beside it (Sqlite3DB::openHeldThrow). Whether the store stood before; throws.
    bool openStoreThrow(int flags);
    // Removes the store's file, and the user's own files SQLite keeps beside it (StoreFileRemoval),
    // from the folder its open held; before any open the folder is held first, its way walked as an
    // open walks it. False with errno set when the store's file cannot go (ENOENT: there is none)
    // or one of the user's files beside it stays; throws "Cannot write <path>: <why>" when the way
    // to it is refused.
    bool removeStoreFile();
    // Whether the open store holds no table, as one whose making a kill or a full disk stopped
    // (an empty file) does: its open makes it then. Throws when the file is not a database.
    bool holdsNoTable();

private:
    QList<int> m_editBases; // transaction depth outside each open edit, innermost last
    HeldFolder m_folder; // the store's, from its open on
    QString m_name; // the store's name inside m_folder
};
