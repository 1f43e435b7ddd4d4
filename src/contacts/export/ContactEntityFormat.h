#pragma once

#include "contacts/store/Entity.h"

#include <QString>

// One line of text per contact field, as the contact card and the HTML export show it: the label
// (custom label data3, else the type word of data2) and the value. Plain text: the callers escape
// it for the markup they put it in. Address lines are joined by "\n".
class ContactEntityFormat
{
public:
    static QString phone(const pim::Entity& e);
    static QString email(const pim::Entity& e);
    static QString event(const pim::Entity& e);
    static QString im(const pim::Entity& e);
    static QString org(const pim::Entity& e);
    static QString relation(const pim::Entity& e);
    // The label alone, and the formatted address.
    static QString addressLabel(const pim::Entity& e);
    static QString address(const pim::Entity& e);
    static QString url(const pim::Entity& e);
    static QString notes(const pim::Entity& e);

    // The date part of an ISO 8601 date-time (or date) in the short date form; empty when it
    // does not parse.
    static QString shortDate(const QString& iso);
    // The first organisation's job title, department and company joined by blanks, trimmed.
    static QString orgLine(const pim::Entity& e);
};
