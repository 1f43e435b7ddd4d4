#include "messages/store/MsgColumnBinder.h"

#include "app/sqlite/Sqlite3Stmt.h"

bool MsgColumnBinder::Value::sameAs(const Value& other) const
{
    if (kind != other.kind)
        return false;
    return kind == Integer ? number == other.number : bytes == other.bytes;
}

MsgColumnBinder::Value& MsgColumnBinder::next(const char* name)
{
    const size_t i = size_t(m_names.size());
    m_names.append(name);
    if (i == m_values.size())
        m_values.emplace_back();
    return m_values[i];
}

void MsgColumnBinder::put(const char* name, int value)
{
    put(name, qint64(value)); // stored alike
}

void MsgColumnBinder::put(const char* name, qint64 value)
{
    Value& v = next(name);
    v.kind = Value::Integer;
    v.number = value;
}

void MsgColumnBinder::put(const char* name, const QString& value)
{
    Value& v = next(name);
    if (v.kind != Value::Text || v.text != value) {
        v.text = value;
        v.bytes = value.toUtf8();
    }
    v.kind = Value::Text;
}

void MsgColumnBinder::put(const char* name, const QByteArray& value)
{
    Value& v = next(name);
    v.kind = Value::Blob;
    v.bytes = value;
}

void MsgColumnBinder::bindTo(Sqlite3Stmt& stmt, Bound& bound) const
{
    const size_t n = size_t(m_names.size());
    const bool known = bound.m_values.size() == n;
    if (!known)
        bound.m_values.assign(n, Value());
    for (size_t i = 0; i < n; ++i) {
        const Value& v = m_values[i];
        Value& b = bound.m_values[i];
        if (known && b.sameAs(v))
            continue;
        b.kind = v.kind;
        b.number = v.number;
        b.bytes = v.bytes; // shared: alive while bound
        const int index = int(i + 1);
        if (v.kind == Value::Integer)
            stmt.bindInt64Throw(index, v.number);
        else if (v.kind == Value::Text)
            stmt.bindTextInPlaceThrow(index, b.bytes);
        else
            stmt.bindBlobInPlaceThrow(index, b.bytes);
    }
}
