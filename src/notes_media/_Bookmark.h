#pragma once

#include <QList>
#include <QString>

// One bookmark or folder of a bookmark tree. A node owns its children; it is handled by pointer
// and never copied. The builder appends a new node to its parent's children itself.
class _Bookmark
{
public:
    _Bookmark(_Bookmark* parent, bool isFolder, QString title, QString url, int orderIndex, QString srcId,
        qint64 id);
    ~_Bookmark(); // destroys the whole subtree
    _Bookmark(const _Bookmark&) = delete;
    _Bookmark& operator=(const _Bookmark&) = delete;

    // Bookmarks (leaves) below this node at any depth; folders are not counted.
    int bookmarkCount() const;
    // What a list of roots counts: 1 per bookmark root, bookmarkCount() per folder root.
    static int countOf(const QList<_Bookmark*>& roots);
    // True when other is this node or one of its ancestors.
    bool hasAncestorOrSelf(const _Bookmark* other) const;

    qint64 id; // row id in the local store; 0 for nodes read from a backup
    bool isFolder;
    QString title;
    QString url; // empty for a folder
    int orderIndex;
    QString srcId;
    _Bookmark* parent; // not owned; null for a root
    QList<_Bookmark*> children; // owned
};

// The order of siblings wherever bookmarks are shown or exported: order index, then title.
bool compareBookmarkLess(const _Bookmark* a, const _Bookmark* b);
