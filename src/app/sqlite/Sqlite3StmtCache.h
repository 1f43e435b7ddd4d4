#pragma once

#include "app/sqlite/Sqlite3Sql.h"
#include "app/sqlite/Sqlite3Stmt.h"

#include <QHash>
#include <memory>

class Sqlite3DB;

// Prepared statements of one connection kept by their text, for work that runs the same few
// statements thousands of times (parsing is then paid once). Statements made on a connection that
// has since been closed or reopened are dropped before the next use; clear() them, or destroy the
// cache, before the connection closes.
class Sqlite3StmtCache
{
public:
    explicit Sqlite3StmtCache(Sqlite3DB& db);
    ~Sqlite3StmtCache();

    // Runs a single statement, result rows ignored.
    void execute(const Sqlite3Sql& sql);
    // Column 0 of the first result row as a 64-bit integer; 0 when there is no row.
    qint64 firstInt64(const Sqlite3Sql& sql);
    void clear();

    // For binding by the caller (Sqlite3Stmt's typed binds): the statement of sql, reset and with
    // every parameter cleared; then run it with one of the two below. Valid until clear().
    Sqlite3Stmt& prepared(const QString& sql);
    void execute(Sqlite3Stmt& stmt);
    qint64 firstInt64(Sqlite3Stmt& stmt);

private:
    Sqlite3Stmt& bound(const Sqlite3Sql& sql);

    Sqlite3DB& m_db;
    sqlite3* m_handle = nullptr; // the connection the statements were made on
    QHash<QString, std::shared_ptr<Sqlite3Stmt>> m_stmts;
};
