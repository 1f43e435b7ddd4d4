#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "contacts/store/IContactsDb.h"

#include <QDir>
#include <QHash>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

// The contact source over a backup's address book, read from a folder that holds its files under
// their backup names (a backup's cache folder). Only ever queries; opens on first use.
class IOSContactsDb : public IContactsDb
{
public:
    static const char* const kAddressBookName; // Library/AddressBook/AddressBook.sqlitedb
    static const char* const kImagesName; // Library/AddressBook/AddressBookImages.sqlitedb

    explicit IOSContactsDb(QDir dir);
    ~IOSContactsDb() override = default;

    // Opens the address book (and the images file when present); throws "Cannot find
    // AddressBook.sqlitedb" when the folder has none.
    void open();
    bool isOpened() const { return m_db.isOpen(); }
    // Number of people, counted by the reading of contacts() but for the photos: failures throw as
    // it throws them.
    qint64 total();
    // One contact per person, in ascending rowid.
    QList<pim::_Contact> contacts() override;

    // Postal address parts and the formatted address of one multi-value.
    void readAddr(unsigned long long uid, pim::Entity& entity);
    // User name and protocol code of one instant-message multi-value.
    void readIM(unsigned long long uid, pim::Entity& entity);

private:
    void openBook();
    void openImages();
    // Whether the images file holds its table of pictures; one it cannot tell (a view in its
    // place) costs the pictures, not the contacts.
    bool hasImagesTable();

    QDir m_dir;
    Sqlite3DB m_db;
    Sqlite3DB m_imgDb;
    bool m_imagesTried = false;
    // Optional tables of the device's schema, found when the people are read.
    bool m_hasMultiValues = true;
    bool m_hasEntries = true;
    bool m_hasLabels = true;
    bool m_hasImages = true;
    // A row of ABMultiValueLabel: its text and its code in each label table (-1: not in it).
    struct Label {
        QString text;
        int codes[5];
    };
    QHash<qint64, Label> m_labels; // by rowid

    void readLabels();
    pim::_Contact readPerson(const Sqlite3Cursor& person);
    class RecordRows;
    std::unique_ptr<RecordRows> openPhotoWalk();
    void readPhoto(qint64 rowid, std::unique_ptr<RecordRows>& walk, pim::_Contact& contact);
    QByteArray photoOf(qint64 rowid);

    // One record's values of one kind, in the order of their rows. The values of an address or
    // instant-message kind get their entries once the record is known to be a person's: their
    // uids are uids[firstUid] onwards, one per value.
    struct ValueGroup {
        qint64 recordId = 0;
        int kind = 0;
        QList<pim::Entity> entities;
        std::size_t firstUid = 0;
    };
    // Each record's groups by ascending kind, the records in rowid order; a deque grows without
    // moving the groups read so far.
    struct ValueRows {
        std::deque<ValueGroup> groups;
        std::vector<unsigned long long> uids;
    };
    // A value of the record being read, kept until the record's last row.
    struct PendingValue {
        int kind = 0;
        pim::Entity entity;
        unsigned long long uid = 0;
    };
    // Finds the optional tables of the book.
    void findTables();
    // The largest rowid of the people, past which the multi-values are not read.
    qint64 lastPersonRowid();
    // Steps through the multi-values of the people of rowids (ascending) and the entries of their
    // addresses and instant-message accounts as contacts() reads them, for the count.
    void readMultiValuesOf(const std::vector<qint64>& rowids);
    // Runs on a thread of its own: touches only the labels and its own connection.
    ValueRows readAllMultiValues(const QString& path, qint64 lastRowid) const;
    int readMultiValue(const Sqlite3Cursor& row, pim::Entity& e, unsigned long long& uid) const;
    static void groupRecord(qint64 recordId, std::vector<PendingValue>& record, ValueRows& rows);
    void attachMultiValues(QList<pim::_Contact>& list, const std::vector<qint64>& rowids, ValueRows& rows);
    void attachGroup(pim::_Contact& contact, ValueGroup& group, const std::vector<unsigned long long>& uids);
    Sqlite3Cursor entries(unsigned long long uid);
};
