#include "notes_media/ui/MediaItemModel.h"

#include <QIcon>

MediaItemModel::MediaItemModel(const QString& iconPath, QObject* parent)
    : AbsTreeItemModel(parent)
    , m_iconPath(iconPath)
{
}

int MediaItemModel::columnCount(const QModelIndex&) const
{
    return int(headerTitles().size());
}

QVariant MediaItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const QStringList titles = headerTitles();
    if (section < 0 || section >= titles.size())
        return {};
    return titles.at(section);
}

QVariant MediaItemModel::data(const QModelIndex& index, int role) const
{
    const _ItemNode* node = nodeOf(index);
    if (!node)
        return {};
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(m_iconPath);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellData(node, index.column());
    return {};
}
