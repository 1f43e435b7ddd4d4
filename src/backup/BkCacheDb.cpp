#include "backup/BkCacheDb.h"

#include "app/DataPaths.h"
#include "app/sqlite/Sqlite3DB.h"

#include <sqlite3.h>

BkCacheDb::BkCacheDb(QString path)
    : m_path(std::move(path))
{
}

BkCacheDb::~BkCacheDb() = default;

QDir BkCacheDb::cacheDir()
{
    return QDir(g_dataSaveDir().absoluteFilePath(QStringLiteral("itunes_cache")));
}

void BkCacheDb::openThrow()
{
    if (m_db && m_db->isOpen())
        return;
    auto db = std::make_unique<Sqlite3DB>();
    db->openThrow(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db->executeThrow("create table if not exists file_cache(name TEXT PRIMARY KEY, mtime INTEGER NOT NULL)");
    db->executeThrow("create table if not exists file_stamp(name TEXT PRIMARY KEY, stamp TEXT NOT NULL)");
    m_db = std::move(db);
}

qint64 BkCacheDb::fileTime(const QString& name)
{
    openThrow();
    Sqlite3Cursor c
        = m_db->queryThrow(Sqlite3Sql("select mtime from file_cache where name=?").addTextParam(name));
    return c.moveNext() ? c.getInt64(0) : -1;
}

void BkCacheDb::setFileTimeThrow(const QString& name, qint64 time)
{
    openThrow();
    m_db->executeThrow(Sqlite3Sql("insert or replace into file_cache(name, mtime) values(?,?)")
                           .addTextParam(name)
                           .addInt64Param(time));
}

bool BkCacheDb::isCurrent(const QString& name, qint64 time, const QString& stamp)
{
    if (stamp.isEmpty() || fileTime(name) != time)
        return false;
    Sqlite3Cursor c
        = m_db->queryThrow(Sqlite3Sql("select stamp from file_stamp where name=?").addTextParam(name));
    return c.moveNext() && c.getText(0) == stamp;
}

void BkCacheDb::setCopiedThrow(const QString& name, qint64 time, const QString& stamp)
{
    setFileTimeThrow(name, time);
    m_db->executeThrow(Sqlite3Sql("insert or replace into file_stamp(name, stamp) values(?,?)")
                           .addTextParam(name)
                           .addTextParam(stamp));
}
