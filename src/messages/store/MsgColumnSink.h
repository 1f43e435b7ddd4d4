#pragma once

#include <QByteArray>
#include <QString>

// Receives the columns of a row being written, one by one in insert order, each value with its own
// type (names are literals). Writers bind them straight to a prepared statement; others collect them.
class MsgColumnSink
{
public:
    virtual ~MsgColumnSink() = default;

    virtual void put(const char* name, int value) = 0;
    virtual void put(const char* name, qint64 value) = 0;
    virtual void put(const char* name, const QString& value) = 0; // null binds as an empty text
    virtual void put(const char* name, const QByteArray& value) = 0; // a blob
};
