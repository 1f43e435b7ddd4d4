#pragma once

#include "app/AbsLocalDb.h"
#include "app/sqlite/Sqlite3Stmt.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "contacts/store/AbsContactCombineRule.h"
#include "contacts/store/IContactsDb.h"
#include "contacts/store/_Contact.h"
#include "contacts/store/_Group.h"

#include <QHash>
#include <QMap>
#include <QSharedPointer>
#include <QStringList>
#include <memory>

class Sqlite3Cursor;

// The program's own contacts store, "contacts.db" of a local database folder (also the working
// copy of a contacts restore). Opens on first use, creating the file from its schema. Merges
// contacts by full name and their entities by its combine rule. Failures are std::exception.
class LocalContactsDb : public AbsLocalDb, public IContactsDb
{
public:
    LocalContactsDb(QString path, QSharedPointer<AbsContactCombineRule> rule);
    ~LocalContactsDb() override;

    void open() override;
    void create();
    void open_check();
    // Closes the store and removes its file from its held folder (the way to it walked as an open
    // walks it); throws when the file cannot be removed or the way is refused.
    void deleteDbFile();
    // The same; false when the file could not be removed.
    bool removeDB();

    // ---- reading
    // Every contact that has at least one entity, sorted by full name (case-sensitive).
    QList<pim::_Contact> contacts() override;
    // One stored contact with all its entities; an empty contact (id 0) when there is none.
    pim::_Contact contact(unsigned long long id);
    QList<pim::_Group> groups();
    // Number of contact rows; throws when the store cannot be opened or read.
    qint64 total();
    // Copies the kind's columns of the cursor's data row into the entity's values.
    static void fill_entity(Sqlite3Cursor& cursor, int kind, pim::Entity& entity);
    // The value columns of a kind, in row-layout order; empty for a kind outside 1 to 13.
    static QStringList kindColumns(int kind);

    // ---- rows
    void insertEntity(unsigned long long contactId, int kind, pim::Entity& entity);
    void updateEntity(int kind, const pim::Entity& entity);
    void insertContactBase(pim::_Contact& c);
    void updateContactBase(const pim::_Contact& c);
    void updateContactBaseSrcId(unsigned long long id, const QString& srcId);
    void updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId);
    void updateEntitySrcId(unsigned long long id, const QString& srcId);
    void updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId);
    void removeEntity(unsigned long long id);
    void removeContact(unsigned long long id);
    void removeGroupOnly(unsigned long long id);
    pim::Entity setGroup(unsigned long long contactId, unsigned long long groupId, const QString& name);
    void ungroup(unsigned long long contactId);

    // Whether the file is a contact store by its tables (contact and data), whatever its name; false
    // for a file that is not a readable database.
    static bool isStoreFile(const QString& path);

    // ---- merging
    // Whether a merge inside an open edit sets a savepoint of its own, so that a failed merge undoes
    // itself alone (the default). An import that ends its whole edit with a rollback on any failure
    // turns it off: a savepoint per contact copies every page the contact touches. A merge outside
    // any transaction always runs in one of its own.
    void setMergeSavepoints(bool on) { m_mergeSavepoints = on; }
    bool mergeSavepoints() const { return m_mergeSavepoints; }
    // Merges `in` into the stored contact of the same full name, or a new one. `stored` receives
    // that contact, `merged` whether it existed. Returns the entities written, by kind.
    QMap<int, QList<pim::Entity>> combineContact(
        const pim::_Contact& in, pim::_Contact& stored, bool& merged);
    // Merges one incoming entity into `existing`; true when `out` is to be written.
    bool combine_entity(
        int kind, QList<pim::Entity>& existing, const pim::Entity& incoming, pim::Entity& out);
    // The id of the contact whose full name equals fullName but for ASCII case, or 0.
    unsigned long long isContactBaseExist(const QString& fullName);
    // The id of a nameless contact whose organisation is `org`, or 0.
    unsigned long long namelessContactWithOrg(const QString& org);
    // The id of a contact without name and organisation whose phones, e-mails and postal addresses
    // equal those of `in` (every one, in any order), or 0.
    unsigned long long namelessContactWithValues(const pim::_Contact& in);
    unsigned long long getGroupIdOrAdd(const QString& name);

private:
    QSharedPointer<AbsContactCombineRule> combineRule;
    bool m_mergeSavepoints = true;
    // Prepared statements of the row operations, for the connection they were made on.
    Sqlite3StmtCache m_statements { db };

    void dropStatements();
    // Runs the schema script in the open file; a failure removes the file and throws.
    void makeSchema();

    unsigned long long findCounterpart(const pim::_Contact& in);
    bool sameContactValues(const pim::_Contact& stored, const pim::_Contact& in);
    bool sameEntities(int kind, QList<pim::Entity> stored, const QList<pim::Entity>& in);
    // Inserts a new contact row for `in` with its first name entity.
    void addContact(const pim::_Contact& in, pim::_Contact& stored, QMap<int, QList<pim::Entity>>& result);
    void mergeKind(int kind, const QList<pim::Entity>& incoming, pim::_Contact& stored,
        QMap<int, QList<pim::Entity>>& result);
};
