#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>

// The read interface of a bookmark source: a backup's Safari bookmarks or a local store.
class IBookmarkDb
{
public:
    virtual ~IBookmarkDb() = default;
    // The roots of a tree built anew at each call; the caller owns them. Throws on failure.
    virtual QList<_Bookmark*> bookmarks() = 0;
};
