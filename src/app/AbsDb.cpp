#include "app/AbsDb.h"

void AbsDb::beginEdit()
{
    openCheck();
    const int base = tranDepth();
    if (base == 0)
        m_editBases.clear(); // nothing open: earlier edits ended with their transactions
    beginTran();
    m_editBases.append(base);
    editing = true;
}

void AbsDb::endEdit(bool commit)
{
    if (!editing)
        return;
    openCheck();
    const int base = m_editBases.last();
    while (tranDepth() > base) {
        if (commit)
            commitTran();
        else
            rollbackTran();
    }
    m_editBases.removeLast();
    editing = !m_editBases.isEmpty();
}

QList<Sqlite3Row> AbsDb::tableRows(const QString& table)
{
    openCheck();
    QList<Sqlite3Row> rows;
    Sqlite3Cursor cursor = queryThrow(QString("select %1 from %2").arg(storedColumnsOf(table), table));
    while (cursor.moveNext())
        rows.append(cursor.getRow());
    return rows;
}

qint64 AbsDb::insertSqlRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& skipped)
{
    openCheck();
    executeThrow(row.insertSql(table, skipped));
    return lastInsertId();
}
