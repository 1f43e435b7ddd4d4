#pragma once

#include "app/HeldFolder.h"
#include "app/sqlite/Sqlite3Cursor.h"
#include "app/sqlite/Sqlite3Row.h"
#include "app/sqlite/Sqlite3Sql.h"
#include "app/sqlite/_SqliteCol.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
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
    // URI. The file is checked to be a readable database, its schema to hold no more than
    // kMaxSchemaEntries entries; on failure the object stays closed.
    void openThrow(const QString& path, int flags, const char* vfs = nullptr);
    // Opens the database name inside folder, with the flags as above, through HeldFolderVfs: it and
    // the files SQLite keeps beside it are opened from folder, never looked up again by its path;
    // another user's file at one of their names in a folder everyone may write into is refused by
    // name, as is anything there that is no file. Texts name folder.filePath(name).
    void openHeldThrow(const HeldFolder& folder, const QString& name, int flags);
    // Opens read-only. The main file is never written, but SQLite may still make the -wal and -shm
    // files of a WAL database beside it. With immutable set, SQLite is told the file cannot change, so it
    // takes no locks and never writes beside it (no journal, -wal or -shm file): for copies of user data that
    // must stay byte for byte as they are.
    void openReadOnlyThrow(const QString& path, bool immutable = false);
    // The "file:" URI that opens path read-only and immutable.
    static QString immutableUri(const QString& path);
    // A database that came with a backup or a source file (a copy in a backup's cache, a recovery's
    // copy, a file the user picked, a manifest) is data, never a direction. Set before the opens it
    // applies to: only the stored columns of its tables are read (a statement that would run a
    // view, or read a generated column, is refused with a text naming it and the file), its schema
    // runs none of the program's functions that are not harmless, its triggers never act, no value
    // larger than kForeignValueBytes is read, and a statement stops with TaskCancel::Cancelled once
    // the task of the thread that runs it is cancelled.
    void setForeign(bool foreign) { m_foreign = foreign; }
    // Far above any text or picture a phone stores in one value.
    static constexpr int kForeignValueBytes = 128 * 1024 * 1024;
    // Far above the tables, indexes, views and triggers of any database a phone writes (a few
    // hundred): every open refuses a schema of more, whose load by SQLite would cost minutes.
    static constexpr int kMaxSchemaEntries = 3000;
    bool isForeign() const { return m_foreign; }
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

    // The columns of table by name and in table order; empty when there is no such table. On a
    // foreign connection its generated columns too, so that a reader naming one is refused.
    QHash<QString, _SqliteCol> tbInfo(const QString& table);
    QList<_SqliteCol> tbCols(const QString& table);
    // The CREATE texts of those of the tables named (exactly, as the file spells them) that the file
    // holds, by name: the texts of other tables, which may be thousands of long ones, are not read.
    QHash<QString, QString> tableTextsThrow(const QStringList& tables);
    // The indexes of table that order by a collating sequence this build lacks: no statement reads
    // through one, so a query SQLite plans never takes it and one that names it fails.
    QStringList indexesWithoutCollationThrow(const QString& table);
    // Whether the database has a table of that name (in any case). Where a foreign one holds a
    // view of that name, its refusal is thrown.
    bool tableExists(const QString& table);
    // The select list of those of columns (matched without regard to case) that table has, in the
    // order given, each after "alias." when alias is given; a "rowid" asked for is always taken. A
    // column the table lacks is left out (reads of it by name find nothing, as in a file of an
    // older generation); "null" when none is left.
    QString columnsOf(const QString& table, const QStringList& columns, const QString& alias = QString());
    // The select list of every column table stores, in table order ("*" when it has none, so that
    // a missing table or a view is refused as ever).
    QString storedColumnsOf(const QString& table);
    // Whether the database keeps its text in UTF-8, so that a text column's bytes are the UTF-8
    // bound to it; false when the database cannot say.
    bool keepsUtf8Text() const;
    // Whether the database's pages (its log's among them) could hold a value a foreign connection
    // refuses as over kForeignValueBytes: a smaller database holds none, a text kept in UTF-16
    // counted at the half again it grows by read as UTF-8. True when the database cannot say.
    bool mayHoldValueOverBound() const;

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
    HeldFolder m_held; // the folder of a store opened from it
    int m_tranDepth = 0;
    bool m_foreign = false;
    QSet<QByteArray> m_generated; // "table.column" of the generated columns, in lower case
    // The transaction statements, prepared once per connection: a store that merges item by item
    // sets and releases a savepoint per item. Finalised before the connection closes.
    std::map<std::pair<TranOp, int>, std::unique_ptr<Sqlite3Stmt>> m_tranStmts;

    // Opens name (given to SQLite as it is) with vfs; path names the database in texts.
    void openAsThrow(const QByteArray& name, const QString& path, int flags, const char* vfs);
    void runTran(TranOp op, int depth = 0);
    QString savepointName(int depth) const;
    // What a foreign connection is held to from its first statement on, and what it is held to once
    // its schema is read.
    void guardForeign(sqlite3* db);
    void refuseGeneratedColumnsThrow(sqlite3* db, const QString& path);
    // Steps sql over db, handing each row to row; SQLITE_DONE, or the code that ended it.
    static int forEachRow(sqlite3* db, const QByteArray& sql, const std::function<void(sqlite3_stmt*)>& row);
    static int onProgress(void* self);
    static int onAuthorize(
        void* self, int action, const char* table, const char* column, const char*, const char*);
};
