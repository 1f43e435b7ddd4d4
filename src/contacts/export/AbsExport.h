#pragma once

#include "contacts/store/_Contact.h"

#include <QByteArray>
#include <QList>

// One contact export form. The export thread writes initialize(all contacts), then ct2Bytes of each
// contact in order, then uninitialize(). One exporter serves exactly one export; a form with nothing
// to write before or after the contacts returns an empty array there.
class AbsExport
{
public:
    virtual ~AbsExport() = default;
    virtual QByteArray initialize(const QList<pim::_Contact>& contacts) = 0;
    virtual QByteArray ct2Bytes(const pim::_Contact& contact) = 0;
    virtual QByteArray uninitialize() = 0;
};
