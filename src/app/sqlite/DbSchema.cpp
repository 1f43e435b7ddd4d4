#include "app/sqlite/DbSchema.h"

#include "app/sqlite/Sqlite3DB.h"

#include <QStringList>

void DbSchema::loadDbThrow(Sqlite3DB& db)
{
    tables.clear();
    indexes.clear();
    QStringList tableNames;
    {
        Sqlite3Cursor c = db.queryThrow("select * from sqlite_master");
        while (c.moveNext()) {
            const QString type = c.getText("type");
            if (type == QLatin1String("table"))
                tableNames.append(c.getText("name"));
            else if (type == QLatin1String("index"))
                indexes.insert(c.getText("name").toLower(), c.getText("sql"));
        }
    }
    // Columns are asked once the listing is done, one table at a time.
    for (const QString& name : std::as_const(tableNames)) {
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
