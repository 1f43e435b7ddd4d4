#pragma once

#include "app/sqlite/Sqlite3Sql.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

// One row as column name to value. Columns keep the order in which they were first set, and the
// insert statement names them in that order. Names are matched exactly (case-sensitive).
class Sqlite3Row
{
public:
    Sqlite3Row() = default;

    // The value of the column, added (invalid, that is NULL) when new.
    QVariant& operator[](const QString& column);
    // A copy of the value; an invalid QVariant when the row has no such column.
    QVariant val(const QString& column) const;
    bool contains(const QString& column) const { return m_values.contains(column); }
    void remove(const QString& column);
    const QStringList& columns() const { return m_columns; }
    int size() const { return int(m_columns.size()); }
    bool isEmpty() const { return m_columns.isEmpty(); }

    // "insert into table(columns) values(?,...)" for every column not in skipped, one bound parameter
    // each, each value keeping its type. A row left with no column inserts the table's defaults.
    Sqlite3Sql insertSql(const QString& table, const QSet<QString>& skipped = {}) const;

    // SQL identifier quoting: "name" with inner double quotes doubled.
    static QString quoteName(const QString& name);

private:
    QStringList m_columns;
    QHash<QString, QVariant> m_values;
};
