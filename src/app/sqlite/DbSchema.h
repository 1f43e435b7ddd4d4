#pragma once

#include "app/sqlite/_SqliteCol.h"

#include <QHash>
#include <QString>

class Sqlite3DB;

// The schema of one open SQLite database: its tables with their columns and the SQL of its indexes,
// all by lower-cased name. Empty, describing nothing, until loaded.
class DbSchema
{
public:
    // Empties the description, then reads sqlite_master of the connection; SQL errors are thrown.
    void loadDbThrow(Sqlite3DB& db);
    // Whether table has column, both compared without regard to case; false before loading.
    bool containsCol(const QString& table, const QString& column) const;

    QHash<QString, QHash<QString, _SqliteCol>> tables;
    QHash<QString, QString> indexes; // index name -> its SQL
};
