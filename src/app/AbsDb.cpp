#include "app/AbsDb.h"

void AbsDb::beginEdit()
{
    openCheck();
    beginTran();
    editing = true;
}

void AbsDb::endEdit(bool commit)
{
    if (!editing)
        return;
    openCheck();
    if (commit)
        commitTran();
    else
        rollbackTran();
    editing = false;
}

QList<Sqlite3Row> AbsDb::tableRows(const QString& table)
{
    openCheck();
    QList<Sqlite3Row> rows;
    Sqlite3Cursor cursor = queryThrow(QString("select * from %1").arg(table));
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
