#pragma once

#include "app/sqlite/Sqlite3Sql.h"

#include <QtGlobal>

class Sqlite3DB;

// The rows of the (first) statement of sql, stepped through as a reader of them steps: SQLite reads
// every value the statement selects, so that one a reader cannot read (larger than a foreign file
// may hand over) fails the count as it fails the reading. Failures throw as Sqlite3DB::queryThrow's.
qint64 sqlite3RowCountThrow(Sqlite3DB& db, Sqlite3Sql sql);
