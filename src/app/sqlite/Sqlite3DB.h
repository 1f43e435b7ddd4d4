#pragma once

#include "app/sqlite/Sqlite3Cursor.h"
#include "app/sqlite/Sqlite3Row.h"
#include "app/sqlite/Sqlite3Sql.h"
#include "app/sqlite/_SqliteCol.h"

#include <QHash>
#include <QList>
#include <QString>
#include <exception>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <utility>

class Sqlite3Stmt;

// One SQLite connection. Closed at construction; the destructor closes it. Failures of the
// operations ending in Throw are std::runtime_error carrying SQLite's own message.
//
// Transactions nest: a begin inside an open transaction sets a savepoint, its commit releases it
// into the enclosing transaction and its rollback undoes only the work since that begin. Only the
// outermost commit writes to the file, and the outermost rollback undoes everything, nested work
// included. Commit or rollback with no transaction open does nothing.
class Sqlite3DB
{
public:
    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    // Opens path with SQLite's open flags (1 read-only, 2 read-write, 6 read-write and create),
    // closing a connection that is already open. A path beginning with "file:" is taken as an SQLite
    // URI. The file is checked to be a readable database; on failure the object stays closed.
    void openThrow(const QString& path, int flags, const char* vfs = nullptr);
    // Opens read-only. The main file is never written, but SQLite may still make the -wal and -shm
    // files of a WAL database beside it. With immutable set, SQLite is told the file cannot change, so it
    // takes no locks and never writes beside it (no journal, -wal or -shm file): for copies of user data that
    // must stay byte for byte as they are.
    void openReadOnlyThrow(const QString& path, bool immutable = false);
    // The "file:" URI that opens path read-only and immutable.
    static QString immutableUri(const QString& path);
    void close();
    bool isOpen() const { return handle != nullptr; }
    // The path or URI given to the last successful open.
    const QString& dbPath() const { return m_path; }

    void beginTran();
    void commitTran();
    void rollbackTran();
    // Number of begins not yet ended by commit or rollback; 0 outside any transaction.
    int tranDepth() const { return m_tranDepth; }

    // Runs every statement of sql, the parameters bound in order across them; result rows are
    // ignored.
    void executeThrow(Sqlite3Sql sql);
    // Prepares the (first) statement and returns a cursor before its first row.
    Sqlite3Cursor queryThrow(Sqlite3Sql sql);
    // sqlite3_exec of sql: 0 on success, else SQLite's result code with the message in err.
    int exec(const QString& sql, QString& err);
    qint64 lastInsertId() const;
    // Rows changed by the last insert, update or delete.
    int changes() const;

    // The columns of table by name and in table order; empty when there is no such table.
    QHash<QString, _SqliteCol> tbInfo(const QString& table);
    QList<_SqliteCol> tbCols(const QString& table);
    bool tableExists(const QString& table);
    // Whether the database keeps its text in UTF-8, so that a text column's bytes are the UTF-8
    // bound to it; false when the database cannot say.
    bool keepsUtf8Text() const;

    // Why an operation on this connection that threw e failed: the system's reason where SQLite's
    // was only that a file could not be read, written or opened ("disk I/O error"), else e's own
    // text (a full disk, a damaged file).
    QString failureReason(const std::exception& e) const;
    // The same for a failure SQLite gave as code (its result code) and text.
    QString failureReason(int code, const QString& text) const;

    // The raw connection, null while closed; for sqlite3_exec and sqlite3_create_function_v2.
    sqlite3* handle = nullptr;

private:
    enum class TranOp { Begin, Commit, Rollback, Savepoint, Release, RollbackTo };

    QString m_path;
    int m_tranDepth = 0;
    // The transaction statements, prepared once per connection: a store that merges item by item
    // sets and releases a savepoint per item. Finalised before the connection closes.
    std::map<std::pair<TranOp, int>, std::unique_ptr<Sqlite3Stmt>> m_tranStmts;

    void runTran(TranOp op, int depth = 0);
    QString savepointName(int depth) const;
};
