#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <sqlite3.h>

// One prepared statement, finalised by the destructor. Not copyable: cursors share it by pointer.
class Sqlite3Stmt
{
public:
    // Prepares the first statement of sql (UTF-8, len bytes); *tail receives where the next one begins.
    // Throws std::runtime_error with SQLite's message, which names the file where what a database
    // from a backup or a source file holds keeps SQLite from reading it. Text holding only blanks or
    // comments gives a statement whose handle is null.
    Sqlite3Stmt(sqlite3* db, const char* sql, int len, const char** tail = nullptr);
    ~Sqlite3Stmt();
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    // Binds value to the 1-based parameter index; throws when SQLite refuses it.
    void bindThrow(int index, const QVariant& value);
    // Typed binds for statements run many times, without a QVariant each. A text (empty or null: an
    // empty text) or blob (empty: an empty blob) is kept by the statement until its bindings are
    // cleared, so SQLite need not copy it.
    void bindTextThrow(int index, const QString& text);
    void bindTextThrow(int index, const QByteArray& utf8); // text already in UTF-8
    void bindBlobThrow(int index, const QByteArray& bytes);
    // The same for bytes the caller keeps alive and unchanged until the parameter is bound again or
    // the bindings are cleared (the statement keeps nothing).
    void bindTextInPlaceThrow(int index, const QByteArray& utf8);
    void bindBlobInPlaceThrow(int index, const QByteArray& bytes);
    void bindInt64Throw(int index, qint64 value);
    // Sets every parameter to NULL and lets go of the kept texts and blobs.
    void clearBindings();
    int paramCount() const;

    // sqlite3_step; result codes other than SQLITE_ROW and SQLITE_DONE are thrown.
    bool stepThrow();
    void reset();

    sqlite3* db() const { return m_db; }
    sqlite3_stmt* handle() const { return m_stmt; }
    QString sql() const;

    // The connection's current message for the statement sql that ended with code: where a
    // database from a backup or a source file refused to run a view or a generated column (see
    // Sqlite3DB::setForeign), the program's own text naming it and the file.
    static QString errorText(sqlite3* db, int code, const QString& sql = QString());
    // The same text when the connection's last failure was such a refusal, else empty.
    static QString refusalText(sqlite3* db, const QString& sql = QString());
    // The text refusing the view named view of db.
    static QString viewText(sqlite3* db, const QString& view);
    // The text refusing db, whose schema holds more than entries entries (0: whose entries take more
    // memory than any phone's).
    static QString schemaText(sqlite3* db, int entries);
    // Throws std::runtime_error with the connection's current message and a short context (or
    // TaskCancel::Cancelled when the statement was stopped because its task was cancelled).
    [[noreturn]] static void throwError(sqlite3* db, const QString& context);
    [[noreturn]] static void throwError(const QString& message, const QString& context);

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QList<QByteArray> m_kept; // bytes of bound texts and blobs, alive while bound

    void checkBind(int rc, int index);
    // bytes, kept alive while bound (an empty one is returned as it is).
    const QByteArray& kept(const QByteArray& bytes);
};
