#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QModelIndex>
#include <QString>

// Base of the list and tree models of the views: a QAbstractItemModel over a forest of nodes that
// the model owns. Structure questions are answered straight from the nodes; each node remembers the
// index last handed out for it. Subclasses give columnCount() and data(). GUI thread only.
class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // One node. Subclasses of the models derive their own node types from it.
    class _ItemNode
    {
    public:
        // Does not enter itself in the parent's children: whoever creates it appends it there
        // (or to the model's roots when parent is null).
        _ItemNode(int kind, const QString& text, _ItemNode* parent);
        virtual ~_ItemNode(); // deletes the whole subtree

        _ItemNode(const _ItemNode&) = delete;
        _ItemNode& operator=(const _ItemNode&) = delete;

        int kind;
        QString text;
        QModelIndex cachedIndex; // the index last handed out for this node
        _ItemNode* parentNode; // null for a root
        QList<_ItemNode*> children; // owned, in row order
    };

    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override; // deletes every root

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // Tells the views that the contents changed (layoutChanged).
    void contentsUpdate();
    // The node's index: the one last handed out while it still points at the node, else
    // column 0 at the node's current row (row -1 when it is in no list). Not cached.
    QModelIndex indexOfItemNode(const _ItemNode* node) const;
    // dataChanged from the node to its last child (the node alone when it has none).
    void invokeDataChanged(const _ItemNode* node);
    // Removes the node and its subtree, with the remove notifications; a node that is not in
    // its parent's children (or in the roots) keeps itself, though its children are removed.
    void removeNode(const _ItemNode* node);
    // Removes and deletes the node's children, or every root when node is null.
    void clearChilds(const _ItemNode* node);
    // Every node: each root in row order followed by its subtree, parents before children.
    QList<const _ItemNode*> nodes() const;
    // Appends node and then its subtree (pre-order) to list; a null node adds nothing.
    void appendNode(QList<const _ItemNode*>& list, const _ItemNode* node) const;

    // The nodes behind an index (null for the invisible root).
    static _ItemNode* nodeOf(const QModelIndex& index);

    QList<_ItemNode*> roots; // owned, in row order

protected:
    const QList<_ItemNode*>& siblingsOf(const _ItemNode* node) const;
};
