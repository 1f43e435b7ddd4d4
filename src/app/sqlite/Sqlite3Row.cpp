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
    QStringList names;
    QStringList marks;
    QList<QVariant> values;
    for (const QString& column : m_columns) {
        if (skipped.contains(column))
            continue;
        names.append(quoteName(column));
        marks.append("?");
        values.append(m_values.value(column));
    }
    if (names.isEmpty())
        return Sqlite3Sql(QString("insert into %1 default values").arg(quoteName(table)));
    Sqlite3Sql sql(
        QString("insert into %1(%2) values(%3)").arg(quoteName(table), names.join(','), marks.join(',')));
    for (const QVariant& v : values)
        sql.addParam(v);
    return sql;
}

QString Sqlite3Row::quoteName(const QString& name)
{
    QString quoted = name;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}
