#pragma once

#include "contacts/export/AbsExport.h"

#include <QMap>
#include <QStringList>

// Base of the tabular exports (CSV and fixed-width text): a header of column names worked out from
// all contacts, then one row per contact. A column name stands for one kind of value (e.g.
// "Tel:Mobile"); two values of one contact for the same column share its cell, joined by "; ".
class AbsTextExport : public AbsExport
{
public:
    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    QByteArray uninitialize() override;

    static QString telCol(const pim::Entity& e);
    static QString emailCol(const pim::Entity& e);
    static QString eventCol(const pim::Entity& e);
    static QString imCol(const pim::Entity& e);
    static QString relCol(const pim::Entity& e);
    static QString urlCol(const pim::Entity& e);
    static QString addrCountryCol(const pim::Entity& e);
    static QString addrStateCol(const pim::Entity& e);
    static QString addrCityCol(const pim::Entity& e);
    static QString addrStreetCol(const pim::Entity& e);
    static QString addrPostcodeCol(const pim::Entity& e);
    // Rank of a column name in the header (names first, notes last).
    static int colPriority(const QString& name);
    static bool compareColNameLess(const QString& a, const QString& b);

    // The (column, value) pairs of one entity, in written order; `always` marks the values whose
    // column exists even when they are empty.
    struct Cell {
        QString column;
        QString value;
        bool always;
    };
    static QList<Cell> cellsOf(int kind, const pim::Entity& e);

    // Column name to position; filled by initialize.
    QMap<QString, int> colIndex;

protected:
    virtual QByteArray cols2Bytes(const QStringList& columns) = 0;
    virtual QByteArray rowData2Bytes(const QString* cells, int count) = 0;
};
