#include "messages/store/MsgColumnBinder.h"

#include "app/sqlite/Sqlite3Stmt.h"

void MsgColumnBinder::clear()
{
    m_names.clear();
}

MsgColumnBinder::Value& MsgColumnBinder::next(const char* name, Value::Kind kind)
{
    const size_t i = size_t(m_names.size());
    m_names.append(name);
    if (i == m_values.size())
        m_values.emplace_back();
    Value& v = m_values[i];
    v.kind = kind;
    return v;
}

void MsgColumnBinder::put(const char* name, int value)
{
    next(name, Value::Integer).number = value;
}

void MsgColumnBinder::put(const char* name, qint64 value)
{
    next(name, Value::Integer).number = value;
}

void MsgColumnBinder::put(const char* name, const QString& value)
{
    next(name, Value::Text).bytes = value.toUtf8();
}

void MsgColumnBinder::put(const char* name, const QByteArray& value)
{
    next(name, Value::Blob).bytes = value;
}

void MsgColumnBinder::bindTo(Sqlite3Stmt& stmt) const
{
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        const Value& v = m_values[size_t(i)];
        switch (v.kind) {
        case Value::Integer:
            stmt.bindInt64Throw(int(i + 1), v.number);
            break;
        case Value::Text:
            stmt.bindTextThrow(int(i + 1), v.bytes);
            break;
        case Value::Blob:
            stmt.bindBlobThrow(int(i + 1), v.bytes);
            break;
        }
    }
}
