#include "notes_media/_Bookmark.h"

#include <utility>

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
    qDeleteAll(children);
}

int _Bookmark::bookmarkCount() const
{
    int n = 0;
    for (const _Bookmark* c : children)
        n += c->isFolder ? c->bookmarkCount() : 1;
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
