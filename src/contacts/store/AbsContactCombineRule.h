#pragma once

#include "contacts/store/Entity.h"

#include <QStringList>

// The rule by which a contact store merges entities: per kind, the value keys that make an entity
// empty, the same item, or equal, and whether a contact holds one entity of the kind only.
class AbsContactCombineRule
{
public:
    virtual ~AbsContactCombineRule() = default;

    virtual QStringList checkEmptyFields(int kind) = 0;
    // Keys on which a stored entity is the same item as an incoming one.
    virtual QStringList checkEqualFieldsMin(int kind) = 0;
    virtual QStringList checkEqualFieldsFull(int kind) = 0;
    // Keys compared and carried over by a merge; `single` is set for one-entity kinds.
    virtual QStringList validFields(int kind, bool& single) = 0;

    // True when a and b hold equal values under every key (true for an empty list).
    static bool isEntityEqual(const pim::Entity& a, const pim::Entity& b, const QStringList& keys);
    // True when every key's value is absent or has an empty text (true for an empty list).
    static bool isEntityEmpty(const pim::Entity& e, const QStringList& keys);
    // Equality of two values: absent only equals absent; texts by characters; integers by value;
    // otherwise b is converted to a's type, and a failed conversion is inequality.
    static bool isValueEqual(const QVariant& a, const QVariant& b);
    // An absent value, empty bytes or a value whose text is empty.
    static bool isValueEmpty(const QVariant& v);
};
