#pragma once

#include <QList>
#include <QString>
#include <memory>

class Sqlite3DB;

// The list of loaded backups ("cache_list.db"): one row per backup with the MD5 name of its cache
// folder and the backup folder's path. Failures are swallowed: the list is a convenience.
class CacheListDb
{
public:
    struct _CacheItem {
        QString uid; // 32-hex MD5 name of the backup's cache folder
        QString path; // absolute path of the backup folder
    };

    explicit CacheListDb(QString path);
    ~CacheListDb();

    QList<_CacheItem> cacheList();
    void save(QString uid, QString path);
    void remove(QString uid);

private:
    Sqlite3DB& db();

    QString m_path;
    std::unique_ptr<Sqlite3DB> m_db;
};
