#pragma once

#include "app/AbsTreeItemModel.h"
#include "contacts/store/_Contact.h"

#include <QList>
#include <QPixmap>

// The flat list model of the contacts page: one row per contact, sorted by full name, with the
// columns Name (and a small photo), Phone, E-Mail and Address. Every row holds its own copy of its
// contact, and the model keeps the whole list in display order. GUI thread only.
class ItemModelContacts : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _ContactsItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        _ContactsItemNode(AbsTreeItemModel::_ItemNode* parent, const pim::_Contact& contact);
        pim::_Contact contact;
        // The 18-pixel photo, made on first use: scrolling does not decode the photo again.
        mutable QPixmap thumbnail;
    };

    explicit ItemModelContacts(QObject* parent = nullptr);
    ~ItemModelContacts() override = default;

    // Replaces every row with the list, sorted by full name.
    void loadContacts(QList<pim::_Contact> list);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The contact of a row's index, or null for an index without a node.
    static const pim::_Contact* contactOf(const QModelIndex& index);

    // The contacts last loaded, in display order.
    QList<pim::_Contact> contacts;

private:
    static QPixmap thumbnailOf(const _ContactsItemNode& node);
    QVariant cellText(const pim::_Contact& c, int column) const;
};

// True when a's full name sorts strictly before b's (UTF-16 code units, case-sensitive).
bool compareContactsWithNameLess(const pim::_Contact& a, const pim::_Contact& b);
