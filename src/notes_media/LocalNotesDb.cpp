#include "notes_media/LocalNotesDb.h"

#include <QFileInfo>
#include <utility>

namespace
{

const char kSchema[] = "create table if not exists notes(_id integer primary key autoincrement, "
                       "create_date integer, modified_date integer, title text, summary text, content text, "
                       "dev_id text, src_id text, hash text);"
                       "create index if not exists notes_hash_index on notes(hash);";

QDateTime fromSeconds(qint64 s)
{
    return QDateTime::fromSecsSinceEpoch(s, Qt::UTC);
}

qint64 toSeconds(const QDateTime& d)
{
    return d.isValid() ? d.toSecsSinceEpoch() : 0;
}

} // namespace

LocalNotesDb::LocalNotesDb(QString path)
    : AbsLocalDb(std::move(path))
{
}

LocalNotesDb::~LocalNotesDb()
{
    close();
}

void LocalNotesDb::open()
{
    openStoreThrow(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.executeThrow(kSchema);
}

QList<_Notes> LocalNotesDb::notes()
{
    if (!isOpened())
        open();
    QList<_Notes> list;
    Sqlite3Cursor c = db.queryThrow("select * from notes order by modified_date desc, _id asc");
    while (c.moveNext()) {
        _Notes n;
        n.srcId = QString::number(c.getInt64("_id"));
        n.createDate = fromSeconds(c.getInt64("create_date"));
        n.modifiedDate = fromSeconds(c.getInt64("modified_date"));
        n.title = c.getText("title");
        n.summary = c.getText("summary");
        n.content = c.getText("content");
        n.devId = c.getText("dev_id");
        list.append(n);
    }
    return list;
}

qint64 LocalNotesDb::total()
{
    if (!isOpened())
        open();
    Sqlite3Cursor c = db.queryThrow("select count(*) from notes");
    return c.moveNext() ? c.getInt64(0) : 0;
}

void LocalNotesDb::saveNote(const _Notes& note)
{
    if (!isOpened())
        open();
    const QString hash = note.toHash();
    Sqlite3Cursor c
        = db.queryThrow(Sqlite3Sql("select _id,modified_date from notes where hash=?").addTextParam(hash));
    Sqlite3Sql sql;
    if (c.moveNext())
        sql = Sqlite3Sql(
            "update notes set create_date=?,modified_date=?,title=?,summary=?,content=?,dev_id=?,"
            "src_id=? where _id=?");
    else
        sql = Sqlite3Sql(
            "insert into notes(create_date,modified_date,title,summary,content,dev_id,src_id,hash) "
            "values(?,?,?,?,?,?,?,?)");
    sql.addInt64Param(toSeconds(note.createDate))
        .addInt64Param(toSeconds(note.modifiedDate))
        .addTextParam(note.title)
        .addTextParam(note.summary)
        .addTextParam(note.content)
        .addTextParam(note.devId)
        .addTextParam(note.srcId);
    if (c.hasRow())
        sql.addInt64Param(c.getInt64("_id"));
    else
        sql.addTextParam(hash);
    db.executeThrow(sql);
}
