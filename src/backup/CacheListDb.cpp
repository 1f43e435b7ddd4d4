#include "backup/CacheListDb.h"

#include "app/MadeFolders.h"
#include "app/sqlite/Sqlite3DB.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>
#include <sqlite3.h>

CacheListDb::CacheListDb(QString path)
    : m_path(std::move(path))
{
}

CacheListDb::~CacheListDb() = default;

Sqlite3DB& CacheListDb::db()
{
    if (!m_db || !m_db->isOpen()) {
        auto db = std::make_unique<Sqlite3DB>();
        MadeFolders::makePathThrow(QFileInfo(m_path).absolutePath());
        db->openThrow(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db->executeThrow(
            "create table if not exists cache_list(uid VARCHAR PRIMARY KEY, path TEXT NOT NULL)");
        m_db = std::move(db);
    }
    return *m_db;
}

QList<CacheListDb::_CacheItem> CacheListDb::cacheList()
{
    QList<_CacheItem> items;
    try {
        Sqlite3Cursor c = db().queryThrow("select * from cache_list");
        while (c.moveNext())
            items.append({ c.getText(QStringLiteral("uid")), c.getText(QStringLiteral("path")) });
    } catch (const std::exception& e) {
        qWarning() << "cache list:" << e.what();
    }
    return items;
}

void CacheListDb::save(QString uid, QString path)
{
    try {
        Sqlite3DB& d = db();
        if (d.queryThrow(Sqlite3Sql("select uid from cache_list where uid like ?").addTextParam(uid))
                .moveNext())
            return;
        d.executeThrow(
            Sqlite3Sql("insert into cache_list(uid,path) values(?,?)").addTextParam(uid).addTextParam(path));
    } catch (const std::exception& e) {
        qWarning() << "cache list:" << e.what();
    }
}

void CacheListDb::remove(QString uid)
{
    try {
        db().executeThrow(Sqlite3Sql("delete from cache_list where uid like ?").addTextParam(uid));
    } catch (const std::exception& e) {
        qWarning() << "cache list:" << e.what();
    }
}
