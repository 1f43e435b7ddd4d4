#pragma once

#include <QAbstractItemModel>
#include <QList>

class _MsgMessage;

// The message list: a flat table (Date, Flag, Contact, Content) over message records it does not
// own. Column 0 of a row carries the row's message as internal pointer. It never sorts itself.
class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit ItemModelSms(QObject* parent = nullptr);

    void loadSMS(const QList<_MsgMessage*>& list);
    void clear();
    QModelIndex indexOfPos(int pos) const;
    const QList<_MsgMessage*>& messages() const { return msgs; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Rows never have children: a tree view laying out a long list asks nothing more of them.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant text(const _MsgMessage& m, int column) const;

    QList<_MsgMessage*> msgs;
};
