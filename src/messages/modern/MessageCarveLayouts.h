#pragma once

#include "app/sqlite/_SqliteCol.h"

#include <QList>

// The two stored shapes of a device's message table that deleted records are carved with: the
// 74-column table, and the 78-column table of later devices (the same columns and four more).
// Column 0 is the rowid alias; value i of a carved row belongs to column i.
QList<QList<_SqliteCol>> messageCarveLayouts();
