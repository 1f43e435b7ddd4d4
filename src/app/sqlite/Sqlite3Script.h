#pragma once

#include <QString>

class Sqlite3DB;

// Runs the statements of sql as Sqlite3DB::exec does, in one transaction when none is open: a schema
// of many statements is written with one journal and one sync instead of one each, and nothing of a
// failed script stays. 0 on success, else SQLite's result code with the message in err.
int sqlite3ExecScript(Sqlite3DB& db, const QString& sql, QString& err);
