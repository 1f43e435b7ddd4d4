#pragma once

#include "device/PlistCFType.h"
#include "notes_media/_Bookmark.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// The records of the device's bookmark sync (data class "com.apple.Bookmarks"): folders and
// bookmarks, each a dictionary of its entity name, "name", a bookmark's "url", and "parent", an
// array holding the identifier of its folder (absent at the top level). Reads batches into a
// bookmark tree and builds the records of new folders and bookmarks. The records carry no position
// among their siblings.
class BookmarkSyncRecords
{
public:
    static constexpr const char* kDataClass = "com.apple.Bookmarks";
    static constexpr const char* kFolderEntity = "com.apple.bookmarks.Folder";
    static constexpr const char* kBookmarkEntity = "com.apple.bookmarks.Bookmark";

    // Reads one batch (identifier to record); records of other entities are passed over, and a
    // record read again replaces the earlier one.
    void readBatch(const PlistCFType& batch);
    // The tree of the records read, siblings in the order read, each node with its record
    // identifier as srcId and id 0. A record whose parent is no folder read is left out with
    // everything below it. The caller owns the roots.
    QList<_Bookmark*> tree() const;
    // Every identifier read, of any entity, in the tree or not.
    QSet<QString> ids() const;

    // The record of a folder or bookmark placed in the folder with identifier parentId (at the
    // top level when it is empty).
    static PlistCFType record(const _Bookmark& node, const QString& parentId);

private:
    struct Record {
        QString id;
        bool isFolder = false;
        QString name;
        QString url;
        QString parent; // empty at the top level
        bool hasParent = false;
    };
    QList<Record> m_records;
    QHash<QString, int> m_index; // identifier to position in m_records
    QSet<QString> m_ids; // every identifier read, other entities' too
};
