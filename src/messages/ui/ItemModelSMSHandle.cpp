#include "messages/ui/ItemModelSMSHandle.h"

#include "app/ShownText.h"
#include "messages/store/MsgChat.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <algorithm>

ItemModelSMSHandle::_HandleItemNode::_HandleItemNode(
    AbsTreeItemModel::_ItemNode* parent, const _MsgChatMerge& group)
    : _ItemNode(1, group.chats.isEmpty() ? QString() : group.chats.first()->displayName(true), parent)
    , merge(group)
{
}

ItemModelSMSHandle::ItemModelSMSHandle(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelSMSHandle::loadHandles(QList<_MsgChatMerge> list)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    // A strict order: equal dates keep the order given.
    std::stable_sort(list.begin(), list.end(), compareMsgChatMergeLastDesc);
    for (const _MsgChatMerge& group : std::as_const(list))
        roots.append(new _HandleItemNode(nullptr, group));
    endResetModel();
}

int ItemModelSMSHandle::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelSMSHandle::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role > Qt::BackgroundRole)
        return QVariant();
    const auto* node = static_cast<const _HandleItemNode*>(nodeOf(index));
    if (!node)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return ShownText::line(node->text);
    case Qt::DecorationRole: {
        if (node->merge.chats.isEmpty())
            return QVariant();
        const QImage icon(node->merge.chats.first()->isGroup() ? QStringLiteral(":res/group.png")
                                                               : QStringLiteral(":/res/sms_handle.png"));
        return icon.isNull() ? QVariant() : QVariant(icon.scaledToWidth(18, Qt::FastTransformation));
    }
    case Qt::BackgroundRole:
        return QBrush((index.row() + node->kind) % 2 ? QColor(242, 246, 249) : QColor(255, 255, 255));
    default:
        return QVariant();
    }
}

QVariant ItemModelSMSHandle::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}
