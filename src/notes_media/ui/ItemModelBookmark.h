#pragma once

#include "app/AbsTreeItemModel.h"
#include "notes_media/_Bookmark.h"

// The tree model of the bookmarks page: columns "Title" and "Url", one node per bookmark or
// folder, each level sorted with compareBookmarkLess. The bookmark trees are not owned and must
// outlive the nodes.
class ItemModelBookmark : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _BookmarkItemNode : public _ItemNode
    {
    public:
        _BookmarkItemNode(const _Bookmark* bookmark, _ItemNode* parent);
        const _Bookmark* bookmark; // not owned
    };

    explicit ItemModelBookmark(QObject* parent = nullptr);

    // Drops every node, then shows the roots and all their descendants.
    void loadBookmarks(const QList<_Bookmark*>& roots);
    static const _Bookmark* bookmarkOf(const QModelIndex& index);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void appendSorted(QList<_ItemNode*>& list, QList<_Bookmark*> bookmarks, _ItemNode* parent);
};
