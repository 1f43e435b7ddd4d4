#pragma once

#include "app/AbsTreeItemModel.h"
#include "messages/store/MsgChatMerge.h"

// The conversation list: one root node per group of chats sharing a chat identifier, newest first.
// The chats stay owned by the page's MsgData.
class ItemModelSMSHandle : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _HandleItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        _HandleItemNode(AbsTreeItemModel::_ItemNode* parent, const _MsgChatMerge& merge);
        _MsgChatMerge merge;
    };

    explicit ItemModelSMSHandle(QObject* parent = nullptr);

    void loadHandles(QList<_MsgChatMerge> list);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
