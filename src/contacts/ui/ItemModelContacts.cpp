#include "contacts/ui/ItemModelContacts.h"

#include "app/ShownText.h"
#include "contacts/export/ContactPhoto.h"
#include "contacts/ui/ContactThumbThread.h"

#include <QBrush>
#include <QPixmap>
#include <QSize>
#include <algorithm>
#include <utility>

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

ItemModelContacts::~ItemModelContacts()
{
    stopPhotos();
}

void ItemModelContacts::loadContacts(QList<pim::_Contact> list)
{
    beginResetModel();
    stopPhotos();
    qDeleteAll(roots);
    roots.clear();
    std::stable_sort(list.begin(), list.end(), compareContactsWithNameLess);
    contacts = list;
    roots.reserve(contacts.size());
    for (const pim::_Contact& c : std::as_const(contacts))
        roots.append(new _ContactsItemNode(nullptr, c));
    startPhotos();
    endResetModel();
}

namespace
{
// The stored photo of a contact; empty when it has none.
QByteArray photoBytes(const pim::_Contact& c)
{
    const QList<pim::Entity> photos = c.entities.value(pim::KindPhoto);
    return photos.isEmpty() ? QByteArray()
                            : photos.first().values.value(QStringLiteral("data15")).toByteArray();
}
} // namespace

void ItemModelContacts::startPhotos()
{
    ++m_generation;
    m_asked.clear();
    m_inFlight.clear();
    QList<QByteArray> photos;
    photos.reserve(contacts.size());
    bool any = false;
    for (const pim::_Contact& c : std::as_const(contacts)) {
        photos.append(photoBytes(c));
        any = any || !photos.last().isEmpty();
    }
    if (!any)
        return;
    m_photos = new ContactThumbThread(photos, kIconWidth);
    const quint64 generation = m_generation;
    connect(m_photos, &ContactThumbThread::iconReady, this, [this, generation](int row, const QImage& icon) {
        if (generation == m_generation)
            setIcon(row, icon);
    });
    m_photos->start(QThread::LowPriority);
}

// Asks the thread to end and leaves it: it deletes itself once ended.
void ItemModelContacts::stopPhotos()
{
    if (m_photos)
        m_photos->cancel();
    m_photos = nullptr;
}

const QThread* ItemModelContacts::photoThread() const
{
    return m_photos;
}

void ItemModelContacts::flushWanted()
{
    const QList<int> rows = std::exchange(m_asked, {});
    if (m_photos && !rows.isEmpty())
        m_photos->want(rows);
}

void ItemModelContacts::setIcon(int row, const QImage& icon)
{
    if (row < 0 || row >= roots.size())
        return;
    m_inFlight.remove(row);
    static_cast<_ContactsItemNode*>(roots.at(row))->thumbnail = QPixmap::fromImage(icon);
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, { Qt::DecorationRole });
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

// The row's photo once made; until then, and for a contact without one, the placeholder. A row
// whose photo is not made yet is asked for, with the others the view asks for meanwhile.
QPixmap ItemModelContacts::thumbnailOf(int row, const _ContactsItemNode& node) const
{
    if (!node.thumbnail.isNull())
        return node.thumbnail;
    if (m_placeholder.isNull())
        m_placeholder = QPixmap::fromImage(
            ContactPhoto::placeholder().scaledToWidth(kIconWidth, Qt::FastTransformation));
    if (photoBytes(node.contact).isEmpty()) {
        node.thumbnail = m_placeholder;
        return node.thumbnail;
    }
    if (!m_inFlight.contains(row)) {
        m_inFlight.insert(row);
        if (m_asked.isEmpty())
            QMetaObject::invokeMethod(
                const_cast<ItemModelContacts*>(this), "flushWanted", Qt::QueuedConnection);
        m_asked.append(row);
    }
    return m_placeholder;
}

QVariant ItemModelContacts::data(const QModelIndex& index, int role) const
{
    const pim::_Contact* c = contactOf(index);
    if (!c)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const QVariant text = cellText(*c, index.column());
        return text.typeId() == QMetaType::QString ? QVariant(ShownText::line(text.toString())) : text;
    }
    case Qt::DecorationRole:
        return index.column() == 0
            ? QVariant(thumbnailOf(index.row(), *static_cast<const _ContactsItemNode*>(nodeOf(index))))
            : QVariant();
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255), Qt::SolidPattern);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}
