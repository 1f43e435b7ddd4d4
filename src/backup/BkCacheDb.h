#pragma once

#include "backup/ContentDigest.h"

#include <QDir>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>

class Sqlite3DB;
class Sqlite3StmtCache;

// The file-date database of a cache folder ("manifest2.db", "manifest.db"): for each cached
// backup file, the modification time of the record it was copied from, the identity of the stored
// file and the content it held, so unchanged files are not copied again; and for each copy whose
// stored file is not what the phone wrote, why, so that the copy stays known as such while it is
// reused.
class BkCacheDb
{
public:
    // The folder of all backup caches: "itunes_cache" in the data folder; not created here.
    static QDir cacheDir();

    explicit BkCacheDb(QString path);
    ~BkCacheDb();

    const QString& path() const { return m_path; }
    // Opens the database, creating it and its tables when missing. Throws std::runtime_error.
    void openThrow();
    // The stored time of name, or -1 when none is stored.
    qint64 fileTime(const QString& name);
    void setFileTimeThrow(const QString& name, qint64 time);
    // Whether name was last copied from a record of this time and a stored file of this stamp
    // (BackupCacheCopy::stampOf); false for entries made without a stamp. Given copy, also whether
    // that copy was made there (relative to this database's folder): one found elsewhere may be
    // another record's.
    bool isCurrent(const QString& name, qint64 time, const QString& stamp, const QString* copy = nullptr);
    // What the stored file of name held when it was last copied; unknown when not recorded.
    ContentDigest::Sum copiedContent(const QString& name);
    // Records in one transaction that name was copied from a record of this time and a stored file
    // of this stamp and content: a whole copy when notAsWritten is empty, else one whose stored
    // file is not what the phone wrote, notAsWritten saying why; copy is where the copy lies,
    // relative to this database's folder, and a copy found elsewhere is never name's (see
    // isCurrent).
    void setCopiedThrow(const QString& name, qint64 time, const QString& stamp,
        const QString& copy = QString(), const QString& notAsWritten = QString(),
        const ContentDigest::Sum& content = ContentDigest::Sum());
    // Records in one transaction that the stored file of name could not be read, why saying why:
    // there is no copy (at copy, as setCopiedThrow) and none is current, so the next copy tries
    // the stored file again, while the pages find it among the copies not what the phone wrote.
    // Records stamp for the copy of name, whose content is as recorded.
    void setStampThrow(const QString& name, const QString& stamp);
    void setUnreadableThrow(const QString& name, const QString& copy, const QString& why);
    // Why the last copy of name is not what the phone wrote; empty for a whole copy or none.
    QString notAsWritten(const QString& name);
    // Whether every copy recorded says where it was made: false for a cache an earlier version
    // made, whose copies of two records may lie at one place, each holding the other's bytes.
    bool placesAll();
    // Forgets every copy: none is current any more.
    void forgetAllThrow();

    // The copies of a cache folder whose stored files are not what the phone wrote, by the clean
    // absolute path of the copy, with why; read from the folder's file-date databases without
    // creating or changing anything. A database that stands there but cannot be read adds nothing
    // and is named in unread, with why: which of the copies are whole is then not known.
    static QHash<QString, QString> notAsWrittenIn(const QDir& folder, QStringList* unread = nullptr);
    // Whether folder holds a backup load's records of its copies (a file-date database), as a
    // backup's cache folder does and a local database folder never does.
    static bool recordsCopiesIn(const QDir& folder);

private:
    static void addColumnThrow(Sqlite3DB& db, const char* column);
    void markThrow(const QString& name, const QString& copy, const QString& why);
    // Runs work in one transaction, rolled back when it throws; name is the file it records.
    void inTransactionThrow(const QString& name, const std::function<void()>& work);
    QString failureText(const Sqlite3DB& db, const std::exception& e) const;
    QVariantList firstRow(const char* sql, const QString& name);

    QString m_path;
    std::unique_ptr<Sqlite3DB> m_db;
    std::unique_ptr<Sqlite3StmtCache> m_stmts; // of m_db; goes before it
};
