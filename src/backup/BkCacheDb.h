#pragma once

#include <QDir>
#include <QString>
#include <memory>

class Sqlite3DB;

// The file-date database of a cache folder ("manifest2.db", "manifest.db"): for each cached
// backup file, the modification time of the record it was copied from and the identity of the
// stored file, so unchanged files are not copied again.
class BkCacheDb
{
public:
    // The folder of all backup caches: "itunes_cache" in the data folder; not created here.
    static QDir cacheDir();

    explicit BkCacheDb(QString path);
    ~BkCacheDb();

    // Opens the database, creating it and its table when missing. Throws std::runtime_error.
    void openThrow();
    // The stored time of name, or -1 when none is stored.
    qint64 fileTime(const QString& name);
    void setFileTimeThrow(const QString& name, qint64 time);
    // Whether name was last copied from a record of this time and a stored file of this stamp
    // (BackupCacheCopy::stampOf); false for entries made without a stamp.
    bool isCurrent(const QString& name, qint64 time, const QString& stamp);
    void setCopiedThrow(const QString& name, qint64 time, const QString& stamp);

private:
    QString m_path;
    std::unique_ptr<Sqlite3DB> m_db;
};
