#include "app/sqlite/Sqlite3Sql.h"

Sqlite3Sql::Sqlite3Sql(const char* sql)
    : m_sql(QString::fromUtf8(sql))
{
}

Sqlite3Sql::Sqlite3Sql(const QString& sql)
    : m_sql(sql)
{
}

Sqlite3Sql& Sqlite3Sql::appendSql(const QString& sql)
{
    m_sql += sql;
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(long long value)
{
    m_params.append(QVariant(qlonglong(value)));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    // A null QString still means text: callers pass field values that may be unset.
    m_params.append(QVariant(value.isNull() ? QString("") : value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.append(QVariant());
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addDoubleParam(double value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addParam(const QVariant& value)
{
    m_params.append(value);
    return *this;
}
