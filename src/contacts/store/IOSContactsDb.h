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
    // Number of people.
    qint64 total();
    // One contact per person, in ascending rowid.
    QList<pim::_Contact> contacts() override;

    // Postal address parts and the formatted address of one multi-value.
    void readAddr(unsigned long long uid, pim::Entity& entity);
    // User name and protocol code of one instant-message multi-value.
    void readIM(unsigned long long uid, pim::Entity& entity);

private:
    QDir m_dir;
    Sqlite3DB m_db;
    Sqlite3DB m_imgDb;
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

    // One row of ABMultiValue: its record, and its entity and kind (0: none); an address or
    // instant-message value gets its entries (by uid) once it is known to belong to a person.
    struct ValueRow {
        qint64 recordId = 0;
        int kind = 0;
        pim::Entity entity;
        unsigned long long uid = 0;
    };
    // Grows without moving the rows read so far.
    using ValueRows = std::deque<ValueRow>;
    // Runs on a thread of its own: touches only the labels and its own connection.
    ValueRows readAllMultiValues(const QString& path, qint64 lastRowid) const;
    int readMultiValue(const Sqlite3Cursor& row, pim::Entity& e, unsigned long long& uid) const;
    void attachMultiValues(QList<pim::_Contact>& list, const std::vector<qint64>& rowids, ValueRows rows);
    void addPending(pim::_Contact& contact);
    std::vector<std::pair<int, pim::Entity>> m_pending; // one person's values, reused
    Sqlite3Cursor entries(unsigned long long uid);
};
