#pragma once

#include "app/sqlite/Sqlite3Row.h"
#include "app/sqlite/Sqlite3Sql.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QString>
#include <memory>

class Sqlite3Stmt;

// The rows of a query, placed before the first row. Copies share the statement and its position;
// the statement is finalised with the last copy.
//
// Reads by column name ignore case and also find aliases; "rowid" (or "oid", "_rowid_") that the
// result does not name finds the column that is the INTEGER PRIMARY KEY of its table. A NULL or
// absent column reads as 0, an empty text or empty bytes; a real read as an integer is truncated
// toward zero.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor();
    ~Sqlite3Cursor();
    Sqlite3Cursor(const Sqlite3Cursor&);
    Sqlite3Cursor& operator=(const Sqlite3Cursor&);

    // Steps to the next row (the first call to the first); false after the last. An error while
    // stepping (a damaged file, a lock) is thrown as std::runtime_error rather than ending the rows early.
    bool moveNext();
    // The number of result rows, counted by running the statement once more on its own.
    int count() const;

    int getInt(const QString& column) const;
    qint64 getInt64(const QString& column) const;
    double getDouble(const QString& column) const;
    QString getText(const QString& column) const;
    QByteArray getBlob(const QString& column) const;
    bool isNull(const QString& column) const;

    int getInt(int index) const;
    qint64 getInt64(int index) const;
    double getDouble(int index) const;
    QString getText(int index) const;
    QByteArray getBlob(int index) const;
    bool isNull(int index) const;
    // The storage class of the value (SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or
    // SQLITE_NULL); SQLITE_NULL off a row or for an absent column.
    int valueType(int index) const;
    // The UTF-8 bytes of a text column as SQLite holds them, valid until the next step; null for NULL.
    QByteArrayView getTextUtf8(int index) const;
    // The bytes of a blob column as SQLite holds them, valid until the next step; null for NULL.
    QByteArrayView getBlobView(int index) const;

    // One column of the current row: integers as qint64, reals as double, texts as QString, blobs
    // as QByteArray, NULL as an invalid QVariant.
    QVariant getValue(int index) const;
    // All columns of the current row by their result names (the first of equal names wins); integers
    // as qint64, reals as double, texts as QString, blobs as QByteArray, NULL as an invalid QVariant.
    Sqlite3Row getRow() const;

    int columnCount() const;
    QString columnName(int index) const;
    // The index of a result column by name as the getters find it, or -1.
    int columnIndex(const QString& column) const;
    // True while a row is current.
    bool hasRow() const;

private:
    friend class Sqlite3DB;
    Sqlite3Cursor(std::unique_ptr<Sqlite3Stmt> stmt, Sqlite3Sql sql);
    struct State;
    QSharedPointer<State> m_state;
};
