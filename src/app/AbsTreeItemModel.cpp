#include "app/AbsTreeItemModel.h"

AbsTreeItemModel::_ItemNode::_ItemNode(int kind, const QString& text, _ItemNode* parent)
    : kind(kind)
    , text(text)
    , parentNode(parent)
{
}

AbsTreeItemModel::_ItemNode::~_ItemNode()
{
    qDeleteAll(children);
    children.clear();
}

AbsTreeItemModel::AbsTreeItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(roots);
    roots.clear();
}

AbsTreeItemModel::_ItemNode* AbsTreeItemModel::nodeOf(const QModelIndex& index)
{
    return static_cast<_ItemNode*>(index.internalPointer());
}

const QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblingsOf(const _ItemNode* node) const
{
    return node->parentNode ? node->parentNode->children : roots;
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    const _ItemNode* node = nodeOf(parent);
    return int(node ? node->children.size() : roots.size());
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    const _ItemNode* parentNode = nodeOf(parent);
    _ItemNode* node = parentNode ? parentNode->children.at(row) : roots.at(row);
    node->cachedIndex = createIndex(row, column, node);
    return node->cachedIndex;
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex& child) const
{
    const _ItemNode* node = nodeOf(child);
    if (!node || !node->parentNode)
        return {};
    return indexOfItemNode(node->parentNode);
}

QModelIndex AbsTreeItemModel::indexOfItemNode(const _ItemNode* node) const
{
    if (!node)
        return {};
    const QList<_ItemNode*>& siblings = siblingsOf(node);
    const QModelIndex& cached = node->cachedIndex;
    // The cached index is trusted only while its row still holds this node: removals shift rows,
    // and a parent never handed out by index() has no cached index at all.
    if (cached.isValid() && cached.model() == this && cached.row() < siblings.size()
        && siblings.at(cached.row()) == node)
        return cached;
    const qsizetype row = siblings.indexOf(const_cast<_ItemNode*>(node));
    if (row < 0)
        return {};
    return createIndex(int(row), 0, const_cast<_ItemNode*>(node));
}

void AbsTreeItemModel::contentsUpdate()
{
    emit layoutChanged();
}

void AbsTreeItemModel::invokeDataChanged(const _ItemNode* node)
{
    if (!node)
        return;
    const QModelIndex first = indexOfItemNode(node);
    const QModelIndex last = node->children.isEmpty() ? first : indexOfItemNode(node->children.last());
    if (first.isValid() && last.isValid())
        emit dataChanged(first, last);
}

void AbsTreeItemModel::clearChilds(const _ItemNode* node)
{
    QList<_ItemNode*>& list = node ? const_cast<_ItemNode*>(node)->children : roots;
    if (list.isEmpty())
        return;
    const QModelIndex parentIndex = node ? indexOfItemNode(node) : QModelIndex();
    if (node && !parentIndex.isValid()) {
        // Not in the model: nothing a view shows, so no notification.
        qDeleteAll(list);
        list.clear();
        return;
    }
    beginRemoveRows(parentIndex, 0, int(list.size() - 1));
    const QList<_ItemNode*> doomed = list;
    list.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(const _ItemNode* node)
{
    if (!node)
        return;
    clearChilds(node);
    QList<_ItemNode*>& siblings = node->parentNode ? node->parentNode->children : roots;
    const qsizetype row = siblings.indexOf(const_cast<_ItemNode*>(node));
    if (row < 0)
        return;
    const QModelIndex parentIndex = node->parentNode ? indexOfItemNode(node->parentNode) : QModelIndex();
    if (node->parentNode && !parentIndex.isValid()) {
        // The parent itself is detached from the model: views never saw this node.
        siblings.removeAt(row);
        delete node;
        return;
    }
    beginRemoveRows(parentIndex, int(row), int(row));
    siblings.removeAt(row);
    delete node;
    endRemoveRows();
}

void AbsTreeItemModel::appendNode(QList<const _ItemNode*>& list, const _ItemNode* node) const
{
    if (!node)
        return;
    list.append(node);
    for (const _ItemNode* child : node->children)
        appendNode(list, child);
}

QList<const AbsTreeItemModel::_ItemNode*> AbsTreeItemModel::nodes() const
{
    QList<const _ItemNode*> list;
    for (const _ItemNode* root : roots)
        appendNode(list, root);
    return list;
}
