#include "notes_media/IOSBookmarkDb.h"

#include "notes_media/BackupCacheFile.h"
#include "notes_media/BookmarkTreeBuilder.h"

#include <utility>

IOSBookmarkDb::IOSBookmarkDb(const BackupManifest* backup, QDir cacheFolder)
    : m_backup(backup)
    , m_cacheFolder(std::move(cacheFolder))
{
}

IOSBookmarkDb::~IOSBookmarkDb()
{
    m_db.close();
}

void IOSBookmarkDb::openCheck()
{
    if (m_db.isOpen())
        return;
    const QString path = BackupCacheFile::pathThrow(m_backup, m_cacheFolder, QStringLiteral("HomeDomain"),
        QStringLiteral("Library/Safari/Bookmarks.db"), "Cannot find Bookmarks.db.");
    m_db.setForeign(true);
    m_db.openThrow(path, SQLITE_OPEN_READWRITE);
}

QList<_Bookmark*> IOSBookmarkDb::bookmarks()
{
    openCheck();
    BookmarkTreeBuilder builder;
    const QString columns = m_db.columnsOf(QStringLiteral("bookmarks"),
        { "id", "parent", "type", "title", "url", "order_index", "external_uuid" });
    Sqlite3Cursor c = m_db.queryThrow(QStringLiteral("select %1 from bookmarks where id > 0 and hidden=0 "
                                                     "order by parent asc, type asc, order_index asc, id asc")
                                          .arg(columns));
    while (c.moveNext()) {
        BookmarkTreeBuilder::Row row;
        row.id = c.getInt64("id");
        row.parent = c.getInt("parent");
        row.isFolder = c.getInt("type") == 1;
        row.title = c.getText("title");
        if (!row.isFolder)
            row.url = c.getText("url");
        row.orderIndex = c.getInt("order_index");
        row.srcId = c.getText("external_uuid");
        builder.add(std::move(row));
    }
    return builder.build();
}

qint64 IOSBookmarkDb::total()
{
    // What the page counts: the bookmarks of the tree. Rows the tree leaves out (below a hidden
    // folder or below a bookmark) are not counted; rows of other types that it shows are.
    const QList<_Bookmark*> roots = bookmarks();
    const qint64 n = _Bookmark::countOf(roots);
    qDeleteAll(roots);
    return n;
}
