#pragma once

#include "contacts/store/Entity.h"
#include "device/PlistCFType.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class LocalContactsDb;

// Reads every contact of a connected device over mobilesync ("com.apple.Contacts") into a contacts
// store, each contact and field with the device's record identifier as its source id. The caller
// holds an edit of the store around the call. Failures are std::runtime_error.
void loadIOSContacts(const QString& udid, LocalContactsDb& db);

// The record handling of that import, on batches already received: a contact record makes a
// contact row and the entities it carries; a child record (phone, e-mail, address, URL, IM, date,
// related name) one entity under each parent contact named in its "contact" array. Children whose
// parent has not been read yet are kept and linked by finish() once all batches are in.
class IOSContactsLoader
{
public:
    explicit IOSContactsLoader(LocalContactsDb& db);

    void walkBatch(const PlistCFType& batch);
    void finish();

private:
    struct Pending {
        int kind;
        pim::Entity entity;
        QStringList parents;
    };

    LocalContactsDb& m_db;
    QMap<QString, long long> m_contactIds;
    QList<Pending> m_pending;

    void handleRecord(const QString& id, const PlistCFType& record);
    void handleContact(const QString& id, const PlistCFType& record);
    // The nickname, organisation, birthday, photo and note a contact record carries.
    void addContactFields(unsigned long long contactId, const QString& id, const PlistCFType& record);
    void link(int kind, const pim::Entity& entity, const PlistCFType& record);
    static pim::Entity childEntity(int kind, const QString& id, const PlistCFType& record);
};
