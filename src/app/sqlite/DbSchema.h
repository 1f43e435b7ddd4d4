#pragma once

#include "app/sqlite/_SqliteCol.h"

#include <QHash>
#include <QString>
#include <QStringList>

class Sqlite3DB;

// The columns of the tables a reader needs from one open SQLite database, by lower-cased name.
// Empty, describing nothing, until loaded; the schema texts of other tables are never read.
class DbSchema
{
public:
    // Empties the description, then reads the columns of each of tables the database holds (names
    // compared as SQLite compares them, without regard to case); SQL errors are thrown.
    void loadDbThrow(Sqlite3DB& db, const QStringList& tableNames);
    // Whether table has column, both compared without regard to case; false before loading.
    bool containsCol(const QString& table, const QString& column) const;

    QHash<QString, QHash<QString, _SqliteCol>> tables;
};
