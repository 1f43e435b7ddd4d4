#pragma once

#include "app/AbsLocalDb.h"
#include "notes_media/IBookmarkDb.h"

// The local bookmark store "bookmarks.db" of a local database folder: table bookmarks(id, parent,
// type 0 bookmark / 1 folder, title, url, order_index, src_id). Made with its schema when the file
// is missing at the first use.
class LocalBookmarkDb : public AbsLocalDb, public IBookmarkDb
{
public:
    explicit LocalBookmarkDb(QString path);
    ~LocalBookmarkDb() override;

    void open() override;
    QList<_Bookmark*> bookmarks() override;
    // Bookmarks (type 0) in the store; throws when the store cannot be opened or counted.
    qint64 total();

    // Merges bookmark (with its whole subtree) into the store under the chain of its parent
    // folders: folders are matched by parent and title, bookmarks by parent and URL. Newly inserted
    // source bookmarks are appended to added. Runs in a transaction of its own, nested in the
    // caller's edit. Throws.
    void saveBookmarks(const _Bookmark* bookmark, QList<_Bookmark*>& added);
    // Deletes the bookmark's subtree, children first, by the nodes' ids. Expects the store open.
    void deleteBookmark(const _Bookmark* bookmark);
    // Closes the store and removes its file; throws std::runtime_error when the file stays.
    void deleteDbFile();

private:
    qint64 parentChainIdThrow(const _Bookmark* bookmark);
    qint64 folderIdThrow(qint64 parent, const _Bookmark* folder, bool updateOrder);
    void saveTreeThrow(const _Bookmark* node, qint64 parent, QList<_Bookmark*>& added);
};
