#include "notes_media/_Bookmark.h"

#include <utility>
#include <vector>

_Bookmark::_Bookmark(
    _Bookmark* parent, bool isFolder, QString title, QString url, int orderIndex, QString srcId, qint64 id)
    : id(id)
    , isFolder(isFolder)
    , title(std::move(title))
    , url(std::move(url))
    , orderIndex(orderIndex)
    , srcId(std::move(srcId))
    , parent(parent)
{
}

_Bookmark::~_Bookmark()
{
    // Without recursion: each node's children are taken out before it is deleted, so no
    // destructor below this one has anything left to delete.
    std::vector<_Bookmark*> pending(children.cbegin(), children.cend());
    children.clear();
    while (!pending.empty()) {
        _Bookmark* b = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), b->children.cbegin(), b->children.cend());
        b->children.clear();
        delete b;
    }
}

int _Bookmark::bookmarkCount() const
{
    int n = 0;
    std::vector<const _Bookmark*> pending(children.cbegin(), children.cend());
    while (!pending.empty()) {
        const _Bookmark* b = pending.back();
        pending.pop_back();
        if (!b->isFolder)
            ++n;
        pending.insert(pending.end(), b->children.cbegin(), b->children.cend());
    }
    return n;
}

int _Bookmark::countOf(const QList<_Bookmark*>& roots)
{
    int n = 0;
    for (const _Bookmark* b : roots)
        n += b->isFolder ? b->bookmarkCount() : 1;
    return n;
}

bool _Bookmark::hasAncestorOrSelf(const _Bookmark* other) const
{
    for (const _Bookmark* p = this; p; p = p->parent)
        if (p == other)
            return true;
    return false;
}

bool compareBookmarkLess(const _Bookmark* a, const _Bookmark* b)
{
    if (a->orderIndex != b->orderIndex)
        return a->orderIndex < b->orderIndex;
    return a->title < b->title;
}
