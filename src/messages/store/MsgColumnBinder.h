#pragma once

#include "messages/store/MsgColumnSink.h"

#include <QVarLengthArray>
#include <vector>

class Sqlite3Stmt;

// Collects one row's columns as a writer hands them over and binds them, each with its own type, to
// an insert prepared for those columns. Texts are kept as UTF-8, the bytes SQLite stores. Rows are
// written one after another with mostly the same values: a text equal to the one the column held
// in the row before keeps its bytes, and a statement is bound again only where a value changed
// (SQLite keeps a statement's bindings from one run to the next).
class MsgColumnBinder : public MsgColumnSink
{
    struct Value {
        enum Kind : quint8 { Integer, Text, Blob } kind = Integer;
        qint64 number = 0;
        QString text; // what bytes was made from, when a text
        QByteArray bytes; // replaced, never changed in place: statements may still point into it
        bool sameAs(const Value& other) const;
    };

public:
    using Names = QVarLengthArray<const char*, 64>;

    // What one statement has bound, kept with it (and dropped before it).
    class Bound
    {
    public:
        // After an error or clearing the statement's bindings: the next row binds every value.
        void forget() { m_values.clear(); }

    private:
        friend class MsgColumnBinder;
        std::vector<Value> m_values;
    };

    // Starts the next row.
    void clear() { m_names.clear(); }
    // The columns of the row, in the order met.
    const Names& names() const { return m_names; }
    // Binds the values to parameters 1, 2, ... in the same order, skipping those bound equal;
    // the statement's texts and blobs stay alive in bound.
    void bindTo(Sqlite3Stmt& stmt, Bound& bound) const;

    void put(const char* name, int value) override;
    void put(const char* name, qint64 value) override;
    void put(const char* name, const QString& value) override;
    void put(const char* name, const QByteArray& value) override;

private:
    Value& next(const char* name);

    Names m_names;
    std::vector<Value> m_values; // m_names.size() of them in use
};
