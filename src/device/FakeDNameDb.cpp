#include "device/FakeDNameDb.h"

#include <QFileInfo>
#include <exception>

namespace
{
const qint64 kCommitEvery = 10000;

qint64 seconds(const QDateTime& time)
{
    return time.toMSecsSinceEpoch() / 1000;
}

QDateTime fromSeconds(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs);
}
} // namespace

FakeDNameDb::FakeDNameDb() = default;

FakeDNameDb::~FakeDNameDb()
{
    if (handle) {
        try {
            while (tranDepth() > 0)
                commitTran();
        } catch (const std::exception&) {
        }
        close();
    }
}

QString FakeDNameDb::folderOf(const QString& f)
{
    return f.size() >= 32 ? f.left(2) : QString();
}

bool FakeDNameDb::open(const QString& path, QString* err)
{
    if (handle)
        return true;
    try {
        if (QFileInfo::exists(path)) {
            openThrow(path, 2);
        } else {
            openThrow(path, 6);
            executeThrow("create table dname(f VARCHAR PRIMARY KEY, p VARCHAR, d VARCHAR, size INTEGER, "
                         "lastm INTEGER, incl INTEGER)");
            executeThrow("create index idx_dname on dname(p)");
        }
        beginTran();
    } catch (const std::exception& e) {
        if (err)
            *err = QString::fromUtf8(e.what());
        close();
        return false;
    }
    return true;
}

void FakeDNameDb::insert(const QString& f, const QString& d, bool incl, const QDateTime& lastm)
{
    if (!handle)
        return;
    Sqlite3Sql sql("replace into dname(f,p,d,size,lastm,incl) values(?,?,?,?,?,?)");
    sql.addTextParam(f)
        .addTextParam(folderOf(f))
        .addTextParam(d)
        .addInt64Param(0)
        .addInt64Param(seconds(lastm));
    sql.addIntParam(incl ? 1 : 0);
    executeThrow(sql);
    ++insertCount;
    if (insertCount % kCommitEvery == 0) {
        commitTran();
        beginTran();
    }
}

void FakeDNameDb::update(const QString& f, const QDateTime& lastm, qint64 size)
{
    if (!handle)
        return;
    try {
        Sqlite3Sql sql("update dname set size=?, lastm=? where f=?");
        sql.addInt64Param(size).addInt64Param(seconds(lastm)).addTextParam(f);
        executeThrow(sql);
    } catch (const std::exception&) {
    }
}

void FakeDNameDb::remove(const QString& f)
{
    if (!handle)
        return;
    try {
        Sqlite3Sql sql("delete from dname where f=?");
        sql.addTextParam(f);
        executeThrow(sql);
    } catch (const std::exception&) {
    }
}

QString FakeDNameDb::getDName(const QString& f)
{
    if (!handle)
        return QString();
    try {
        Sqlite3Sql sql("select d from dname where f=?");
        sql.addTextParam(f);
        Sqlite3Cursor cursor = queryThrow(sql);
        if (cursor.moveNext())
            return cursor.getText("d");
    } catch (const std::exception&) {
    }
    return QString();
}

QList<Backup2ToolHook::DirItem> FakeDNameDb::items(const QString& dir)
{
    QList<Backup2ToolHook::DirItem> result;
    if (!handle)
        return result;
    try {
        if (dir.isEmpty()) {
            Sqlite3Cursor folders = queryThrow("select p, max(lastm) as lastm from dname group by p");
            while (folders.moveNext()) {
                const QString p = folders.getText("p");
                if (p.isEmpty())
                    continue;
                Backup2ToolHook::DirItem item;
                item.name = p;
                item.kind = 2;
                item.size = 0;
                item.modified = fromSeconds(folders.getInt64("lastm"));
                result.append(item);
            }
        }
        Sqlite3Sql sql("select * from dname where p=?");
        sql.addTextParam(dir);
        Sqlite3Cursor files = queryThrow(sql);
        while (files.moveNext()) {
            Backup2ToolHook::DirItem item;
            item.name = files.getText("f");
            item.kind = 1;
            item.size = files.getInt64("size");
            item.modified = fromSeconds(files.getInt64("lastm"));
            result.append(item);
        }
    } catch (const std::exception&) {
    }
    return result;
}
