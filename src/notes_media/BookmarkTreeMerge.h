#pragma once

#include "notes_media/_Bookmark.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// Merges bookmark trees into a target tree by the keys of the local bookmark store's save: a
// folder matches the target folder with the same parent and title, a bookmark the target bookmark
// with the same parent and URL (the first such in tree order). What the target lacks is added to
// it without a srcId and listed in the order in which it can be written: every folder before what
// it holds, children in the order of their source. The target's own nodes are never changed.
class BookmarkTreeMerge
{
public:
    // Takes the roots of the target tree and owns them.
    explicit BookmarkTreeMerge(QList<_Bookmark*> targetRoots);
    ~BookmarkTreeMerge();
    BookmarkTreeMerge(const BookmarkTreeMerge&) = delete;
    BookmarkTreeMerge& operator=(const BookmarkTreeMerge&) = delete;

    // Merges the bookmark or folder with its whole subtree under the chain of its parent folders,
    // which are matched, or added when missing, from the top.
    void merge(const _Bookmark* bookmark);

    // The nodes added to the target so far, in the order described above.
    const QList<_Bookmark*>& added() const { return m_added; }
    const QList<_Bookmark*>& roots() const { return m_roots; }

private:
    using Key = QPair<const _Bookmark*, QString>; // the parent in the target, the title or URL

    void index(_Bookmark* node);
    _Bookmark* matchOrAdd(_Bookmark* parent, const _Bookmark* source);

    QList<_Bookmark*> m_roots;
    QHash<Key, _Bookmark*> m_folders;
    QHash<Key, _Bookmark*> m_bookmarks;
    QList<_Bookmark*> m_added;
};
