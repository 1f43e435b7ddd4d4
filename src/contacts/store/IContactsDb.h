#pragma once

#include "contacts/store/_Contact.h"

#include <QList>

// Read interface of a contact source: the backup's address book or a local contacts store.
class IContactsDb
{
public:
    virtual ~IContactsDb() = default;
    // All contacts of the source; throws std::exception with a readable text on failure.
    virtual QList<pim::_Contact> contacts() = 0;
};
