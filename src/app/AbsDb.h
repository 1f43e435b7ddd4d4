#pragma once

#include "app/sqlite/Sqlite3DB.h"

#include <QList>
#include <QSet>
#include <QString>

// Base of the stores over one SQLite file that open on first use: the store is itself the
// connection. Every operation calls openCheck() first.
class AbsDb : public Sqlite3DB
{
public:
    AbsDb() = default;
    ~AbsDb() override = default;

    // Opens the file when the connection is closed (flags and schema are the subclass's), does
    // nothing while it is open; failures throw.
    virtual void openCheck() = 0;

    // openCheck(), begin a transaction, then mark the edit open. A begin inside an open edit nests:
    // the inner edit is a savepoint of the outer one. On failure nothing changes.
    void beginEdit();
    // Commits (true) or rolls back (false) the innermost open edit, together with any transaction
    // begun inside it and left open (by a writer that threw, say); the edits around it stay open.
    // Does nothing, and opens nothing, when no edit is open. On failure the edit stays open, so a
    // later endEdit(false) still rolls it back.
    void endEdit(bool commit);
    bool isEditing() const { return editing; }

    // Every row of table with the columns it stores (its generated columns left out), in result
    // order; table is used as given.
    QList<Sqlite3Row> tableRows(const QString& table);
    // Inserts row into table without the skipped columns; returns the new rowid.
    qint64 insertSqlRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& skipped);

    // True between a successful beginEdit() and the endEdit() that closes the outermost edit.
    bool editing = false;

private:
    QList<int> m_editBases; // transaction depth outside each open edit, innermost last
};
