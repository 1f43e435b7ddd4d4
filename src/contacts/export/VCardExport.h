#pragma once

#include "contacts/export/AbsExport.h"
#include "contacts/export/QVCardParser.h"

// The vCard export: one vCard 3.0 card per contact, nothing before or after. Text values escape
// backslash, line breaks (as "\n") and, in structured values, ";"; the number-like values (TEL,
// EMAIL, URL, BDAY, X-EVENT) lose their line breaks, so no value can start a new line or card.
class VCardExport : public AbsExport
{
public:
    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    QByteArray uninitialize() override;

    // The content lines of one contact, in written order.
    static QList<QVCardParser::_Property> properties(const pim::_Contact& contact);
    // The text escaped for a vCard value: "\" as "\\", line breaks as "\n", ";" as "\;" when
    // semicolons is set and "," as "\," when commas is set (the full name sets both: readers split
    // an unescaped one off).
    static QString escapeText(const QString& text, bool semicolons, bool commas = false);
    // The image type word of photo bytes: "PNG", "GIF" or "JPEG" (also for unknown bytes).
    static QString photoType(const QByteArray& bytes);
};
