#include "app/sqlite/Sqlite3RowCount.h"

#include "app/sqlite/Sqlite3DB.h"

#include <utility>

qint64 sqlite3RowCountThrow(Sqlite3DB& db, Sqlite3Sql sql)
{
    // A step computes every column of its row, whether the caller asks for it or not.
    Sqlite3Cursor c = db.queryThrow(std::move(sql));
    qint64 rows = 0;
    while (c.moveNext())
        ++rows;
    return rows;
}
