#pragma once

#include "contacts/store/Entity.h"

#include <QList>
#include <QMap>
#include <QString>
#include <utility>

namespace pim
{

// One contact: row id in the local store (0 when not from one), source record id, full name and
// its entities by kind (ascending), each kind's list in the order the source delivered it.
struct _Contact {
    _Contact() = default;
    _Contact(unsigned long long id, QString srcId, QString fullName)
        : id(id)
        , srcId(std::move(srcId))
        , fullName(std::move(fullName))
    {
    }

    // The name a list, a card file or a printed page shows: the full name, or for a contact without
    // one the company of its first organisation that has one, as the device itself shows it.
    QString shownName() const;

    unsigned long long id = 0;
    QString srcId;
    QString fullName;
    QMap<int, QList<Entity>> entities;
};

} // namespace pim
