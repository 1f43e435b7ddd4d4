#include "app/sqlite/_SqliteCol.h"

#include <utility>

_SqliteCol::_SqliteCol(QString name, QString type, bool notNull, bool hasDefault, bool primaryKey)
    : name(std::move(name))
    , type(std::move(type))
    , notNull(notNull)
    , hasDefault(hasDefault)
    , primaryKey(primaryKey)
{
}

// The rules are checked in SQLite's order: the first that matches decides the affinity.
bool _SqliteCol::isInteger() const
{
    return type.contains("INT", Qt::CaseInsensitive);
}

bool _SqliteCol::isText() const
{
    return !isInteger()
        && (type.contains("CHAR", Qt::CaseInsensitive) || type.contains("CLOB", Qt::CaseInsensitive)
            || type.contains("TEXT", Qt::CaseInsensitive));
}

bool _SqliteCol::isBlob() const
{
    return !isInteger() && !isText()
        && (type.trimmed().isEmpty() || type.contains("BLOB", Qt::CaseInsensitive));
}

bool _SqliteCol::isReal() const
{
    return !isInteger() && !isText() && !isBlob()
        && (type.contains("REAL", Qt::CaseInsensitive) || type.contains("FLOA", Qt::CaseInsensitive)
            || type.contains("DOUB", Qt::CaseInsensitive));
}

bool _SqliteCol::isNumeric() const
{
    return !isInteger() && !isText() && !isBlob() && !isReal();
}
