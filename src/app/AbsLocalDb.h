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

    // Opens the file at path into db, creating it with the store's schema when missing; throws.
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

    QString path;
    Sqlite3DB db;

private:
    QList<int> m_editBases; // transaction depth outside each open edit, innermost last
};
