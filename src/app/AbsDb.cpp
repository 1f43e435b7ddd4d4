#include "app/AbsDb.h"

void AbsDb::unwindEdit(bool commit)
{
    while (tranDepth() > m_editBaseDepth) {
        if (commit)
            commitTran();
        else
            rollbackTran();
    }
}

void AbsDb::beginEdit()
{
    openCheck();
    if (editing) {
        qWarning("AbsDb::beginEdit: rolling back an edit left open by an earlier failure");
        unwindEdit(false);
        editing = false;
    }
    const int base = tranDepth();
    beginTran();
    m_editBaseDepth = base;
    editing = true;
}

void AbsDb::endEdit(bool commit)
{
    if (!editing)
        return;
    openCheck();
    unwindEdit(commit);
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
