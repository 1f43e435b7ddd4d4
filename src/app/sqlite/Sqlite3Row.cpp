#include "app/sqlite/Sqlite3Row.h"

QVariant& Sqlite3Row::operator[](const QString& column)
{
    auto it = m_values.find(column);
    if (it == m_values.end()) {
        m_columns.append(column);
        it = m_values.insert(column, QVariant());
    }
    return it.value();
}

QVariant Sqlite3Row::val(const QString& column) const
{
    return m_values.value(column);
}

void Sqlite3Row::remove(const QString& column)
{
    if (m_values.remove(column))
        m_columns.removeOne(column);
}

Sqlite3Sql Sqlite3Row::insertSql(const QString& table, const QSet<QString>& skipped) const
{
    // Built in one string: rows of many columns are inserted thousands of times in a run.
    QString names;
    QString marks;
    names.reserve(m_columns.size() * 24);
    marks.reserve(m_columns.size() * 2);
    QList<QVariant> values;
    values.reserve(m_columns.size());
    for (const QString& column : m_columns) {
        if (!skipped.isEmpty() && skipped.contains(column))
            continue;
        if (!values.isEmpty()) {
            names += QLatin1Char(',');
            marks += QLatin1Char(',');
        }
        if (column.contains(QLatin1Char('"'))) {
            names += quoteName(column);
        } else {
            names += QLatin1Char('"');
            names += column;
            names += QLatin1Char('"');
        }
        marks += QLatin1Char('?');
        values.append(m_values.value(column));
    }
    if (values.isEmpty())
        return Sqlite3Sql(QString("insert into %1 default values").arg(quoteName(table)));
    Sqlite3Sql sql(QLatin1String("insert into ") + quoteName(table) + QLatin1Char('(') + names
        + QLatin1String(") values(") + marks + QLatin1Char(')'));
    for (const QVariant& v : std::as_const(values))
        sql.addParam(v);
    return sql;
}

QString Sqlite3Row::quoteName(const QString& name)
{
    if (!name.contains(QLatin1Char('"')))
        return QLatin1Char('"') + name + QLatin1Char('"');
    QString quoted = name;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}
