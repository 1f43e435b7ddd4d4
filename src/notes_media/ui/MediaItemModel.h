#pragma once

#include "app/AbsTreeItemModel.h"

#include <QStringList>

// Base of the flat list models of the media pages: one root per row, the column titles of
// headerTitles(), the page's icon in the first column and each cell from cellData().
class MediaItemModel : public AbsTreeItemModel
{
    Q_OBJECT
public:
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    MediaItemModel(const QString& iconPath, QObject* parent);

    // Drops every row, then shows one Node per row in the given order.
    template <class Node, class Row> void loadRows(const QList<Row>& rows)
    {
        beginResetModel();
        qDeleteAll(roots);
        roots.clear();
        for (const Row& row : rows)
            roots.append(new Node(row));
        endResetModel();
    }

    virtual QStringList headerTitles() const = 0;
    // The display and tool tip text of a cell of the row node.
    virtual QVariant cellData(const _ItemNode* node, int column) const = 0;

private:
    QString m_iconPath;
};
