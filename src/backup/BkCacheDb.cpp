#include "backup/BkCacheDb.h"

#include "app/DataPaths.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3StmtCache.h"

#include <QFileInfo>
#include <sqlite3.h>
#include <stdexcept>

namespace
{

QVariant columnValue(sqlite3_stmt* stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(stmt, i));
    default:
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)), sqlite3_column_bytes(stmt, i));
    }
}

} // namespace

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
    try {
        db->openThrow(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db->executeThrow(
            "create table if not exists file_cache(name TEXT PRIMARY KEY, mtime INTEGER NOT NULL)");
        db->executeThrow("create table if not exists file_stamp(name TEXT PRIMARY KEY, stamp TEXT NOT NULL)");
        db->executeThrow(
            "create table if not exists file_not_as_written(name TEXT PRIMARY KEY, copy TEXT NOT "
            "NULL, reason TEXT NOT NULL)");
        addColumnThrow(*db, "content");
        addColumnThrow(*db, "copy");
    } catch (const std::exception& e) {
        throw std::runtime_error(failureText(*db, e).toStdString());
    }
    m_stmts.reset();
    m_db = std::move(db);
    m_stmts = std::make_unique<Sqlite3StmtCache>(*m_db);
}

// The first row of sql, its one parameter name, through statements prepared once: a load asks
// these of each of thousands of copies. Empty when there is none. The statement is reset before
// the return, so no read is left open to hold off another process's write.
QVariantList BkCacheDb::firstRow(const char* sql, const QString& name)
{
    openThrow();
    Sqlite3Stmt& stmt = m_stmts->prepared(QLatin1String(sql));
    QVariantList row;
    try {
        stmt.bindTextThrow(1, name);
        if (stmt.stepThrow())
            for (int i = 0; i < sqlite3_column_count(stmt.handle()); ++i)
                row.append(columnValue(stmt.handle(), i));
    } catch (...) {
        stmt.reset();
        throw;
    }
    stmt.reset();
    return row;
}

// A cache made before contents (or the places of copies) were recorded gains the column empty:
// none of its copies is current. Older code replaces a whole row when it copies, so it never leaves a
// stale content or place.
void BkCacheDb::addColumnThrow(Sqlite3DB& db, const char* column)
{
    const auto has = [&] {
        return db
            .queryThrow(Sqlite3Sql("select 1 from pragma_table_info('file_stamp') where name=?")
                            .addTextParam(QLatin1String(column)))
            .moveNext();
    };
    if (has())
        return;
    try {
        db.executeThrow(
            QStringLiteral("alter table file_stamp add column %1 TEXT").arg(QLatin1String(column)));
    } catch (const std::exception&) {
        if (!has()) // else another process added it first
            throw;
    }
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

bool BkCacheDb::isCurrent(const QString& name, qint64 time, const QString& stamp, const QString* copy)
{
    if (stamp.isEmpty())
        return false;
    const QVariantList row = firstRow(
        "select c.mtime, s.stamp, s.copy from file_stamp s join file_cache c on c.name=s.name where s.name=?",
        name);
    return !row.isEmpty() && row[0].toLongLong() == time && row[1].toString() == stamp
        && (!copy || (!row[2].isNull() && row[2].toString() == *copy));
}

ContentDigest::Sum BkCacheDb::copiedContent(const QString& name)
{
    openThrow();
    Sqlite3Cursor c
        = m_db->queryThrow(Sqlite3Sql("select content from file_stamp where name=?").addTextParam(name));
    return c.moveNext() ? ContentDigest::Sum::fromText(c.getText(0).toLatin1()) : ContentDigest::Sum();
}

void BkCacheDb::setUnreadableThrow(const QString& name, const QString& copy, const QString& why)
{
    inTransactionThrow(name, [&] {
        m_db->executeThrow(Sqlite3Sql("delete from file_stamp where name=?").addTextParam(name));
        markThrow(name, copy, why);
    });
}

void BkCacheDb::setCopiedThrow(const QString& name, qint64 time, const QString& stamp, const QString& copy,
    const QString& notAsWritten, const ContentDigest::Sum& content)
{
    // One transaction: a copy is never recorded as current without what is known of it.
    inTransactionThrow(name, [&] {
        setFileTimeThrow(name, time);
        m_db->executeThrow(
            Sqlite3Sql("insert or replace into file_stamp(name, stamp, content, copy) values(?,?,?,?)")
                .addTextParam(name)
                .addTextParam(stamp)
                .addTextParam(QString::fromLatin1(content.text()))
                .addTextParam(copy));
        if (notAsWritten.isEmpty())
            m_db->executeThrow(Sqlite3Sql("delete from file_not_as_written where name=?").addTextParam(name));
        else
            markThrow(name, copy, notAsWritten);
    });
}

void BkCacheDb::setStampThrow(const QString& name, const QString& stamp)
{
    openThrow();
    m_db->executeThrow(
        Sqlite3Sql("update file_stamp set stamp=? where name=?").addTextParam(stamp).addTextParam(name));
}

void BkCacheDb::markThrow(const QString& name, const QString& copy, const QString& why)
{
    m_db->executeThrow(
        Sqlite3Sql("insert or replace into file_not_as_written(name, copy, reason) values(?,?,?)")
            .addTextParam(name)
            .addTextParam(copy)
            .addTextParam(why));
}

void BkCacheDb::inTransactionThrow(const QString& name, const std::function<void()>& work)
{
    openThrow();
    m_db->beginTran();
    try {
        work();
        m_db->commitTran();
    } catch (...) {
        // The reason is taken before the roll back.
        QString failed;
        try {
            throw;
        } catch (const std::exception& e) {
            failed = failureText(*m_db, e);
        } catch (...) {
        }
        try {
            m_db->rollbackTran();
        } catch (const std::exception& e) {
            qWarning("Cache record of %s not rolled back: %s", qUtf8Printable(name), e.what());
        }
        if (failed.isEmpty())
            throw;
        throw std::runtime_error(failed.toStdString());
    }
}

// SQLite tells a write the disk refused as "disk I/O error": the system's reason is told instead.
QString BkCacheDb::failureText(const Sqlite3DB& db, const std::exception& e) const
{
    return QStringLiteral("Cannot use %1: %2").arg(QDir::toNativeSeparators(m_path), db.failureReason(e));
}

QString BkCacheDb::notAsWritten(const QString& name)
{
    const QVariantList row = firstRow("select reason from file_not_as_written where name=?", name);
    return row.isEmpty() ? QString() : row[0].toString();
}

bool BkCacheDb::placesAll()
{
    openThrow();
    return !m_db->queryThrow(Sqlite3Sql("select 1 from file_stamp where copy is null limit 1")).moveNext();
}

void BkCacheDb::forgetAllThrow()
{
    inTransactionThrow(QStringLiteral("*"), [&] {
        for (const char* table : { "file_cache", "file_stamp", "file_not_as_written" })
            m_db->executeThrow(QStringLiteral("delete from %1").arg(QLatin1String(table)));
    });
}

namespace
{
// The file-date databases of a cache folder: its message folder's copies, and the others'.
const char* const kRecordNames[] = { "manifest.db", "manifest2.db" };
} // namespace

bool BkCacheDb::recordsCopiesIn(const QDir& folder)
{
    for (const char* name : kRecordNames) {
        const QFileInfo records(folder.absoluteFilePath(QLatin1String(name)));
        if (records.exists() || records.isSymLink())
            return true;
    }
    return false;
}

QHash<QString, QString> BkCacheDb::notAsWrittenIn(const QDir& folder, QStringList* unread)
{
    QHash<QString, QString> found;
    for (const char* name : kRecordNames) {
        const QString path = folder.absoluteFilePath(QLatin1String(name));
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            continue; // never made: no copy of its kind was ever marked
        try {
            if (!info.isFile()) // never a FIFO or a device: an open would wait on it
                throw std::runtime_error(QStringLiteral("%1 is not a regular file").arg(path).toStdString());
            Sqlite3DB db;
            db.openReadOnlyThrow(path);
            if (!db.tableExists(QStringLiteral("file_not_as_written")))
                continue; // made before copies were marked: a damaged copy was never current
            Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select copy, reason from file_not_as_written"));
            while (c.moveNext())
                found.insert(QDir::cleanPath(folder.absoluteFilePath(c.getText(0))), c.getText(1));
        } catch (const std::exception& e) {
            const QString why = QString::fromUtf8(e.what());
            if (unread) // each reason named with its file, once
                *unread << (why.contains(path) ? why : QStringLiteral("%1: %2").arg(path, why));
            else
                qWarning("Copies not as the phone wrote them not read from %s: %s", qUtf8Printable(path),
                    e.what());
        }
    }
    return found;
}
