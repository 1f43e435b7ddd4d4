#pragma once

#include "contacts/store/_Contact.h"
#include "device/PlistCFType.h"

#include <QString>

// Writers of the device's contact sync records ("com.apple.Contacts" over mobilesync). Each puts
// at most one item into the records dictionary, keyed by the record's device identifier, or by a
// temporary one made from local row ids that the device's answer maps to the identifier it gave.

// The Contact record: name parts, organisation, nickname, birthday, photo and note. Keyed by the
// contact's srcId, else "-" and its local id.
void addPlistDataFromContact(PlistCFType& records, const pim::_Contact& contact);

// The record of one multi-valued field (phone, e-mail, date, IM, related name, postal address,
// web address); nothing for other kinds or an empty value. Keyed by the entity's srcId, else
// "<property>/<contactRecordId>/<entityNumber>".
void addPlistDataFromEntity(PlistCFType& records, QString contactRecordId, int kind, long long entityNumber,
    const pim::Entity& entity);

// The device's property number of a multi-valued kind (phone 3, e-mail 4, address 5, date 12,
// IM 13, web address 22, related name 23), 0 for others.
int contactSyncProperty(int kind);
