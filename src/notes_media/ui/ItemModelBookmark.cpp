#include "notes_media/ui/ItemModelBookmark.h"

#include "app/ShownText.h"

#include <QIcon>
#include <algorithm>

ItemModelBookmark::_BookmarkItemNode::_BookmarkItemNode(const _Bookmark* bookmark, _ItemNode* parent)
    : _ItemNode(bookmark->isFolder ? 1 : 0, bookmark->title, parent)
    , bookmark(bookmark)
{
}

ItemModelBookmark::ItemModelBookmark(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelBookmark::loadBookmarks(const QList<_Bookmark*>& roots)
{
    beginResetModel();
    qDeleteAll(this->roots);
    this->roots.clear();
    appendSorted(this->roots, roots, nullptr);
    endResetModel();
}

void ItemModelBookmark::appendSorted(QList<_ItemNode*>& list, QList<_Bookmark*> bookmarks, _ItemNode* parent)
{
    std::stable_sort(bookmarks.begin(), bookmarks.end(), compareBookmarkLess);
    for (const _Bookmark* b : std::as_const(bookmarks)) {
        auto* node = new _BookmarkItemNode(b, parent);
        list.append(node);
        appendSorted(node->children, b->children, node);
    }
}

const _Bookmark* ItemModelBookmark::bookmarkOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _BookmarkItemNode*>(nodeOf(index));
    return node ? node->bookmark : nullptr;
}

int ItemModelBookmark::columnCount(const QModelIndex&) const
{
    return 2;
}

QVariant ItemModelBookmark::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return tr("Title");
    if (section == 1)
        return tr("Url");
    return {};
}

QVariant ItemModelBookmark::data(const QModelIndex& index, int role) const
{
    const _Bookmark* b = bookmarkOf(index);
    if (!b)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return ShownText::line(index.column() == 0 ? b->title : b->url);
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(b->isFolder ? QStringLiteral(":/res/folder.png") : QStringLiteral(":/res/bookmark.png"));
    return {};
}
