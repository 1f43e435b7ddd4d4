#pragma once

#include "app/sqlite/_SqliteCol.h"
#include "messages/store/Sqlite3File.h"

#include <QList>
#include <QVariant>

// The two stored shapes of a device's message table that deleted records are carved with: the
// 74-column table, and the 78-column table of later devices (the same columns and four more).
// Column 0 is the rowid alias; value i of a carved row belongs to column i.
QList<QList<_SqliteCol>> messageCarveLayouts();

// A layout ready for the carver: the text columns that devices leave NULL although they declare a
// default (reply_to_guid, thread_originator_guid, thread_originator_part, syndication_ranges,
// synced_syndication_ranges) accept NULL; every other column keeps what its flags allow.
_SqliteCarveShape messageCarveShape(const QList<_SqliteCol>& cols);

// Whether two column lists begin with the same count columns (names, types and flags).
bool sameLeadingColumns(const QList<_SqliteCol>& a, const QList<_SqliteCol>& b, int count);

// What each column of a layout reads as in a record written before the column was added: the
// default the database's own table declares for a column of that name, else the layout's own (0
// for the integer columns that declare one, NULL for the rest).
QList<QVariant> messageLayoutDefaults(
    const QList<_SqliteCol>& layout, const QList<_SqliteCol>& table, const QList<QVariant>& tableDefaults);

// Whether a database's own message table is a third shape, neither of the two layouts.
bool isOtherMessageLayout(const QList<_SqliteCol>& table);

// Where each column of a table stands in the 78-column layout, found by name (-1 when it is not
// there); empty when every column stands where that layout has it, so rows need no reordering.
QList<int> messageColumnOrder(const QList<_SqliteCol>& table);

// A row decoded in a table's own column order, its values moved to where the 78-column layout
// has them (NULL where the table lacks the column); the row itself with an empty order.
_SqliteFileRowData toMessageLayoutOrder(const _SqliteFileRowData& row, const QList<int>& order);
