#include "notes_media/LocalBookmarkDb.h"

#include "notes_media/BookmarkTreeBuilder.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

namespace
{

const char kSchema[] = "create table if not exists bookmarks(id integer primary key autoincrement, "
                       "parent integer not null default 0, type integer not null default 0, title text, "
                       "url text, order_index integer not null default 0, src_id text);"
                       "create index if not exists bookmarks_parent_index on bookmarks(parent, type);";

} // namespace

LocalBookmarkDb::LocalBookmarkDb(QString path)
    : AbsLocalDb(std::move(path))
{
}

LocalBookmarkDb::~LocalBookmarkDb()
{
    close();
}

void LocalBookmarkDb::open()
{
    openStoreThrow(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.executeThrow(kSchema);
}

QList<_Bookmark*> LocalBookmarkDb::bookmarks()
{
    if (!isOpened())
        open();
    BookmarkTreeBuilder builder;
    Sqlite3Cursor c
        = db.queryThrow("select * from bookmarks order by parent asc, type asc, order_index asc, id asc");
    while (c.moveNext()) {
        BookmarkTreeBuilder::Row row;
        row.id = c.getInt64("id");
        row.parent = c.getInt64("parent");
        row.isFolder = c.getInt("type") == 1;
        row.title = c.getText("title");
        row.url = c.getText("url");
        row.orderIndex = c.getInt("order_index");
        row.srcId = c.getText("src_id");
        row.nodeId = row.id;
        builder.add(std::move(row));
    }
    return builder.build();
}

qint64 LocalBookmarkDb::total()
{
    // What the page counts: the bookmarks of the tree.
    const QList<_Bookmark*> roots = bookmarks();
    const qint64 n = _Bookmark::countOf(roots);
    qDeleteAll(roots);
    return n;
}

void LocalBookmarkDb::saveBookmarks(const _Bookmark* bookmark, QList<_Bookmark*>& added)
{
    if (!isOpened())
        open();
    db.beginTran();
    try {
        const qint64 parent = bookmark->parent ? parentChainIdThrow(bookmark) : 0;
        saveTreeThrow(bookmark, parent, added);
        db.commitTran();
    } catch (...) {
        try {
            db.rollbackTran();
        } catch (const std::exception& e) {
            qWarning("Bookmark save not rolled back: %s", e.what());
        }
        throw;
    }
}

// The store id of the bookmark's direct parent, its folder chain made where it is missing.
qint64 LocalBookmarkDb::parentChainIdThrow(const _Bookmark* bookmark)
{
    std::vector<const _Bookmark*> chain;
    for (const _Bookmark* p = bookmark->parent; p; p = p->parent)
        chain.push_back(p);
    qint64 id = 0;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        id = folderIdThrow(id, *it, false);
    return id;
}

qint64 LocalBookmarkDb::folderIdThrow(qint64 parent, const _Bookmark* folder, bool updateOrder)
{
    Sqlite3Cursor c
        = db.queryThrow(Sqlite3Sql("select id from bookmarks where parent=? and type=1 and title=?")
                            .addInt64Param(parent)
                            .addTextParam(folder->title));
    if (c.moveNext()) {
        const qint64 id = c.getInt64(0);
        if (updateOrder)
            db.executeThrow(Sqlite3Sql("update bookmarks set order_index=? where id=?")
                                .addIntParam(folder->orderIndex)
                                .addInt64Param(id));
        return id;
    }
    db.executeThrow(
        Sqlite3Sql("insert into bookmarks(parent,type,title,url,order_index,src_id) values(?,1,?,'',?,?)")
            .addInt64Param(parent)
            .addTextParam(folder->title)
            .addIntParam(folder->orderIndex)
            .addTextParam(folder->srcId));
    return db.lastInsertId();
}

void LocalBookmarkDb::saveTreeThrow(const _Bookmark* node, qint64 parent, QList<_Bookmark*>& added)
{
    if (node->isFolder) {
        const qint64 id = folderIdThrow(parent, node, true);
        for (const _Bookmark* child : node->children)
            saveTreeThrow(child, id, added);
        return;
    }
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select id from bookmarks where parent=? and type=0 and url=?")
                                        .addInt64Param(parent)
                                        .addTextParam(node->url));
    if (c.moveNext()) {
        db.executeThrow(Sqlite3Sql("update bookmarks set order_index=? where id=?")
                            .addIntParam(node->orderIndex)
                            .addInt64Param(c.getInt64(0)));
        return;
    }
    db.executeThrow(
        Sqlite3Sql("insert into bookmarks(parent,type,title,url,order_index,src_id) values(?,0,?,?,?,?)")
            .addInt64Param(parent)
            .addTextParam(node->title)
            .addTextParam(node->url)
            .addIntParam(node->orderIndex)
            .addTextParam(node->srcId));
    added.append(const_cast<_Bookmark*>(node));
}

void LocalBookmarkDb::deleteBookmark(const _Bookmark* bookmark)
{
    for (const _Bookmark* child : bookmark->children)
        deleteBookmark(child);
    db.executeThrow(QStringLiteral("delete from bookmarks where id=%1").arg(bookmark->id));
}

void LocalBookmarkDb::deleteDbFile()
{
    close();
    // From the folder the store was held in: a link planted on the way never leads the removal.
    if (!removeStoreFile() && errno != ENOENT)
        throw std::runtime_error(qt_error_string(errno).toStdString());
}
