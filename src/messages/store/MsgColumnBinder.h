#pragma once

#include "messages/store/MsgColumnSink.h"

#include <QVarLengthArray>
#include <vector>

class Sqlite3Stmt;

// Collects one row's columns as a writer hands them over and binds them, each with its own type, to
// an insert prepared for those columns. Texts are kept as UTF-8, the bytes SQLite stores; the
// buffers live on from row to row.
class MsgColumnBinder : public MsgColumnSink
{
public:
    using Names = QVarLengthArray<const char*, 64>;

    // Starts the next row.
    void clear();
    // The columns of the row, in the order met.
    const Names& names() const { return m_names; }
    // Binds the values to parameters 1, 2, ... in the same order. The statement keeps the texts
    // and blobs until its bindings are cleared.
    void bindTo(Sqlite3Stmt& stmt) const;

    void put(const char* name, int value) override;
    void put(const char* name, qint64 value) override;
    void put(const char* name, const QString& value) override;
    void put(const char* name, const QByteArray& value) override;

private:
    struct Value {
        enum Kind : quint8 { Integer, Text, Blob } kind = Integer;
        qint64 number = 0;
        QByteArray bytes;
    };
    Value& next(const char* name, Value::Kind kind);

    Names m_names;
    std::vector<Value> m_values; // m_names.size() of them in use
};
