#include "app/sqlite/DbSchema.h"

#include "app/sqlite/Sqlite3DB.h"

void DbSchema::loadDbThrow(Sqlite3DB& db, const QStringList& tableNames)
{
    tables.clear();
    for (const QString& wanted : tableNames) {
        // Looked up by name: a file may hold thousands of tables with long texts, none of them read.
        QString name;
        {
            Sqlite3Cursor c = db.queryThrow(
                Sqlite3Sql("select name from sqlite_master where type = 'table' and name = ? collate nocase")
                    .addTextParam(wanted));
            if (!c.moveNext())
                continue;
            name = c.getText(0);
        }
        QHash<QString, _SqliteCol>& cols = tables[name.toLower()];
        for (const _SqliteCol& col : db.tbCols(name))
            cols.insert(col.name.toLower(), col);
    }
}

bool DbSchema::containsCol(const QString& table, const QString& column) const
{
    const auto t = tables.constFind(table.toLower());
    return t != tables.constEnd() && t->contains(column.toLower());
}
