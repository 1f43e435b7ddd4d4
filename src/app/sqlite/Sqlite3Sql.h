#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

// An SQL text with positional "?" parameters, bound in the order of the add calls.
// A parameter is kept as a QVariant: an invalid QVariant binds NULL, QByteArray a blob,
// QString a text (an empty one binds an empty text), int and qint64 integers, double a real.
class Sqlite3Sql
{
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const char* sql);
    Sqlite3Sql(const QString& sql);

    Sqlite3Sql& appendSql(const QString& sql);

    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(long long value);
    Sqlite3Sql& addTextParam(const QString& value);
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();
    Sqlite3Sql& addDoubleParam(double value);
    Sqlite3Sql& addParam(const QVariant& value);

    const QString& sql() const { return m_sql; }
    const QList<QVariant>& params() const { return m_params; }

private:
    QString m_sql;
    QList<QVariant> m_params;
};
