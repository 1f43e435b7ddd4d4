#pragma once

#include <QString>

class Sqlite3Cursor;

// The phone-number rules of one country, from the country database.
class _CountryInfo
{
public:
    // Whole-number match of the national mobile pattern; false for the empty record.
    bool _isMatch(const QString& number) const;
    // True when the length is one of the valid national number lengths.
    bool _isLengthValid(int length) const;
    // The number in international form where the rules recognise it, else cleaned to digits and
    // "+"; text with letters or "@" comes back lower-cased.
    QString formatNumber(const QString& number) const;

    QString sn;
    QString n;
    QString ln;
    QString pnum;
    QString mmc;
    QString numc;
    QString r1;
};

// Fills a record from the current row of a query over the countries table.
void fillCountryInfo(_CountryInfo& info, Sqlite3Cursor& cursor);
