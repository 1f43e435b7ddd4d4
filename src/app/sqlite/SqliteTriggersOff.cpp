#include "app/sqlite/SqliteTriggersOff.h"

#include "app/sqlite/Sqlite3DB.h"

#include <stdexcept>

SqliteTriggersOff::SqliteTriggersOff(Sqlite3DB& db)
    : m_db(db.handle)
{
    int now = 1;
    if (sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, -1, &m_before) != SQLITE_OK
        || sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &now) != SQLITE_OK || now != 0)
        throw std::runtime_error("Cannot keep the database's triggers from acting on what is written.");
}

SqliteTriggersOff::~SqliteTriggersOff()
{
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, m_before, nullptr);
}
