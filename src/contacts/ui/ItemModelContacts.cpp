#include "contacts/ui/ItemModelContacts.h"

#include "contacts/export/ContactPhoto.h"

#include <QBrush>
#include <QPixmap>
#include <QSize>
#include <algorithm>

namespace
{
const char* const g_columns[] = { "Name", "Phone", "E-Mail", "Address" };
}

bool compareContactsWithNameLess(const pim::_Contact& a, const pim::_Contact& b)
{
    return QString::compare(a.shownName(), b.shownName(), Qt::CaseSensitive) < 0;
}

ItemModelContacts::_ContactsItemNode::_ContactsItemNode(
    AbsTreeItemModel::_ItemNode* parent, const pim::_Contact& contact)
    : _ItemNode(0, QString(), parent)
    , contact(contact)
{
}

ItemModelContacts::ItemModelContacts(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelContacts::loadContacts(QList<pim::_Contact> list)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    std::stable_sort(list.begin(), list.end(), compareContactsWithNameLess);
    contacts = list;
    roots.reserve(contacts.size());
    for (const pim::_Contact& c : std::as_const(contacts))
        roots.append(new _ContactsItemNode(nullptr, c));
    endResetModel();
}

int ItemModelContacts::columnCount(const QModelIndex&) const
{
    return 4;
}

QVariant ItemModelContacts::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
        return QString::fromLatin1(g_columns[section]);
    return QVariant();
}

const pim::_Contact* ItemModelContacts::contactOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _ContactsItemNode*>(nodeOf(index));
    return node ? &node->contact : nullptr;
}

QVariant ItemModelContacts::cellText(const pim::_Contact& c, int column) const
{
    if (column == 0)
        return c.shownName();
    static const int kinds[] = { 0, pim::KindPhone, pim::KindEmail, pim::KindAddress };
    if (column < 1 || column > 3)
        return QVariant();
    const QList<pim::Entity> list = c.entities.value(kinds[column]);
    if (list.isEmpty())
        return QVariant();
    if (column == 1) {
        for (const pim::Entity& e : list)
            if (e.code(QStringLiteral("data2")) == 2)
                return e.text(QStringLiteral("data1"));
        return list.first().text(QStringLiteral("data1"));
    }
    if (column == 2)
        return list.first().text(QStringLiteral("data1"));
    return list.first().values.value(QStringLiteral("data1"));
}

QPixmap ItemModelContacts::thumbnailOf(const _ContactsItemNode& node)
{
    if (node.thumbnail.isNull()) {
        const QList<pim::Entity> photos = node.contact.entities.value(pim::KindPhoto);
        QImage image;
        if (!photos.isEmpty())
            image = ContactPhoto::decode(photos.first().values.value(QStringLiteral("data15")).toByteArray());
        if (image.isNull())
            image = ContactPhoto::placeholder();
        node.thumbnail = QPixmap::fromImage(image.scaledToWidth(18, Qt::FastTransformation));
    }
    return node.thumbnail;
}

QVariant ItemModelContacts::data(const QModelIndex& index, int role) const
{
    const pim::_Contact* c = contactOf(index);
    if (!c)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(*c, index.column());
    case Qt::DecorationRole:
        return index.column() == 0
            ? QVariant(thumbnailOf(*static_cast<const _ContactsItemNode*>(nodeOf(index))))
            : QVariant();
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255), Qt::SolidPattern);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}
