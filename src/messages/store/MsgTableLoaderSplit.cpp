#include "messages/store/MsgTableLoaderSplit.h"

#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Row.h"

#include <exception>

namespace
{
// A column of the key: the rowid of a scan by rowid as it is, the columns of an index quoted.
QString keyColumn(const QString& name, bool byRowid)
{
    return byRowid ? name : Sqlite3Row::quoteName(name);
}
} // namespace

bool MsgTableLoaderSplit::plan(
    Sqlite3DB& db, const QString& sql, const QString& table, const QString& alias, qint64 firstRows)
{
    m_alias = alias;
    m_index.clear();
    m_columns.clear();
    m_cut.clear();
    try {
        const QStringList plan = planOf(db, sql);
        return !plan.isEmpty() && findKey(db, plan.first(), table, alias) && findCut(db, table, firstRows)
            && keepsPlan(db, sql, plan);
    } catch (const std::exception&) {
        // Whatever the cut could not learn, the query is read in one run.
        return false;
    }
}

QStringList MsgTableLoaderSplit::planOf(Sqlite3DB& db, const Sqlite3Sql& sql)
{
    Sqlite3Sql explain(QStringLiteral("explain query plan ") + sql.sql());
    for (const QVariant& p : sql.params())
        explain.addParam(p);
    QStringList lines;
    Sqlite3Cursor c = db.queryThrow(explain);
    while (c.moveNext())
        lines << c.getText(3);
    return lines;
}

bool MsgTableLoaderSplit::findKey(
    Sqlite3DB& db, const QString& scan, const QString& table, const QString& alias)
{
    if (scan == QStringLiteral("SCAN ") + alias) {
        m_columns = { QStringLiteral("rowid") };
        return true;
    }
    const QString covering = QStringLiteral("SCAN %1 USING COVERING INDEX ").arg(alias);
    if (!scan.startsWith(covering))
        return false;
    m_index = scan.mid(covering.size());
    // Only a unique index orders every row by its columns alone.
    bool unique = false;
    Sqlite3Cursor list
        = db.queryThrow(QStringLiteral("pragma index_list(%1)").arg(Sqlite3Row::quoteName(table)));
    while (list.moveNext())
        if (list.getText("name") == m_index)
            unique = list.getInt("unique") != 0;
    Sqlite3Cursor info
        = db.queryThrow(QStringLiteral("pragma index_info(%1)").arg(Sqlite3Row::quoteName(m_index)));
    while (info.moveNext()) {
        if (info.isNull("name"))
            return false; // an expression, not a column
        m_columns << info.getText("name");
    }
    return unique && !m_columns.isEmpty();
}

bool MsgTableLoaderSplit::findCut(Sqlite3DB& db, const QString& table, qint64 firstRows)
{
    QStringList cols;
    for (const QString& c : std::as_const(m_columns))
        cols << keyColumn(c, m_index.isEmpty());
    const QString list = cols.join(',');
    QString sql = QStringLiteral("select %1 from %2").arg(list, Sqlite3Row::quoteName(table));
    if (!m_index.isEmpty())
        sql += QStringLiteral(" indexed by %1").arg(Sqlite3Row::quoteName(m_index));
    sql += QStringLiteral(" order by %1 limit 1 offset ?").arg(list);
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql).addInt64Param(qMax<qint64>(firstRows - 1, 0)));
    if (!c.moveNext())
        return false;
    for (int i = 0; i < m_columns.size(); ++i) {
        // Integer keys only: NULLs and mixed types are left to a single run.
        if (c.valueType(i) != SQLITE_INTEGER)
            return false;
        m_cut << c.getInt64(i);
    }
    return true;
}

bool MsgTableLoaderSplit::keepsPlan(Sqlite3DB& db, const QString& sql, const QStringList& plan) const
{
    const QString scan = m_index.isEmpty()
        ? QStringLiteral("SCAN %1").arg(m_alias)
        : QStringLiteral("SCAN %1 USING COVERING INDEX %2").arg(m_alias, m_index);
    const QString search = m_index.isEmpty()
        ? QStringLiteral("SEARCH %1 USING INTEGER PRIMARY KEY (").arg(m_alias)
        : QStringLiteral("SEARCH %1 USING COVERING INDEX %2 (").arg(m_alias, m_index);
    for (const Sqlite3Sql& run : { first(sql), second(sql) }) {
        const QStringList lines = planOf(db, run);
        if (lines.size() != plan.size() || (lines.first() != scan && !lines.first().startsWith(search)))
            return false;
        for (int i = 1; i < lines.size(); ++i)
            if (lines[i] != plan[i])
                return false;
    }
    return true;
}

Sqlite3Sql MsgTableLoaderSplit::withCondition(const QString& sql, bool first) const
{
    QStringList cols;
    QStringList marks;
    for (const QString& c : m_columns) {
        cols << m_alias + '.' + keyColumn(c, m_index.isEmpty());
        marks << QStringLiteral("?");
    }
    const bool one = cols.size() == 1;
    const QString key = one ? cols.first() : '(' + cols.join(',') + ')';
    const QString cut = one ? marks.first() : '(' + marks.join(',') + ')';
    QString condition;
    if (!first)
        condition = QStringLiteral(" and %1 > %2").arg(key, cut);
    else if (m_index.isEmpty())
        condition = QStringLiteral(" and %1 <= %2").arg(key, cut);
    else
        // Rows whose key holds a NULL sort first in the index and fail every comparison: the first
        // run takes them.
        condition = QStringLiteral(" and (%1 > %2) is not true").arg(key, cut);
    Sqlite3Sql run(sql + condition);
    for (const QVariant& v : m_cut)
        run.addParam(v);
    return run;
}
