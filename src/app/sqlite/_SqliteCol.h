#pragma once

#include <QString>

// One column of a table as SQLite declares it. The predicates follow SQLite's type affinity rules
// for the declared type, so they classify any declaration, not only the canonical names.
class _SqliteCol
{
public:
    _SqliteCol() = default;
    _SqliteCol(QString name, QString type, bool notNull, bool hasDefault, bool primaryKey);

    bool isInteger() const; // INTEGER affinity: the type holds "INT"
    bool isText() const; // TEXT affinity: "CHAR", "CLOB" or "TEXT"
    bool isBlob() const; // BLOB affinity: "BLOB" or no declared type
    bool isReal() const; // REAL affinity: "REAL", "FLOA" or "DOUB"
    bool isNumeric() const; // NUMERIC affinity: any other declaration

    QString name;
    QString type;
    bool notNull = false;
    bool hasDefault = false;
    bool primaryKey = false;
};
