#pragma once

#include <sqlite3.h>

class Sqlite3DB;

// Keeps a database's triggers from acting on what a connection does while it lives (what the
// program writes is not what the phone's user did); the state before comes back after. They stay
// in the schema.
class SqliteTriggersOff
{
public:
    // Throws std::runtime_error when SQLite does not turn them off.
    explicit SqliteTriggersOff(Sqlite3DB& db);
    ~SqliteTriggersOff();
    SqliteTriggersOff(const SqliteTriggersOff&) = delete;
    SqliteTriggersOff& operator=(const SqliteTriggersOff&) = delete;

private:
    sqlite3* m_db;
    int m_before = 1;
};
