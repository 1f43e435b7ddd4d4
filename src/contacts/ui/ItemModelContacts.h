#pragma once

#include "app/AbsTreeItemModel.h"
#include "contacts/store/_Contact.h"

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QSet>

class ContactThumbThread;

// The flat list model of the contacts page: one row per contact, sorted by full name, with the
// columns Name (and a small photo), Phone, E-Mail and Address. Every row holds its own copy of its
// contact, and the model keeps the whole list in display order. The photos are decoded on a thread
// of their own (ContactThumbThread) as the view asks for them: a row shows the placeholder until
// its photo is ready. GUI thread only.
class ItemModelContacts : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _ContactsItemNode : public AbsTreeItemModel::_ItemNode
    {
    public:
        _ContactsItemNode(AbsTreeItemModel::_ItemNode* parent, const pim::_Contact& contact);
        pim::_Contact contact;
        // The 18-pixel photo once made: scrolling does not decode the photo again.
        mutable QPixmap thumbnail;
    };

    explicit ItemModelContacts(QObject* parent = nullptr);
    // Leaves the photos' thread to end on its own.
    ~ItemModelContacts() override;

    // Replaces every row with the list, sorted by full name.
    void loadContacts(QList<pim::_Contact> list);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The contact of a row's index, or null for an index without a node.
    static const pim::_Contact* contactOf(const QModelIndex& index);

    // The contacts last loaded, in display order.
    QList<pim::_Contact> contacts;

    // For tests: the thread making the photos of the rows loaded last; null once it has ended.
    const QThread* photoThread() const;

private slots:
    void flushWanted();

private:
    static const int kIconWidth = 18;
    QPixmap thumbnailOf(int row, const _ContactsItemNode& node) const;
    void startPhotos();
    void stopPhotos();
    void setIcon(int row, const QImage& icon);
    QVariant cellText(const pim::_Contact& c, int column) const;

    QPointer<ContactThumbThread> m_photos;
    quint64 m_generation = 0; // of the rows: an icon of rows loaded before is not theirs
    mutable QList<int> m_asked; // rows asked for since the last flush
    mutable QSet<int> m_inFlight; // rows asked for and not made yet
    mutable QPixmap m_placeholder;
};

// True when a's full name sorts strictly before b's (UTF-16 code units, case-sensitive).
bool compareContactsWithNameLess(const pim::_Contact& a, const pim::_Contact& b);
