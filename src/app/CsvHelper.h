#pragma once

#include <QHash>
#include <QIODevice>
#include <QString>
#include <QStringList>

// Comma-separated text: the cell form the exports write, and a reader of UTF-8 CSV one row at a
// time. Read errors of the device are thrown as std::runtime_error with the device's error text.
namespace csvhelper
{

// The cell with every double quote doubled, wrapped in double quotes when it holds a line feed,
// a double quote or a comma. A carriage return alone causes no quoting; an empty cell stays empty.
QString formatCell(const QString& cell);

// The number of line feeds outside double quotes from the device's position to its end.
int totalRecords(QIODevice* device);

// Appends the cells of the next row to row (not cleared first). True when the row ended with a
// line feed, false at the end of the device (the last cell, possibly empty, is still appended).
// With skipBom, a leading UTF-8 byte-order mark is dropped; when none is there, no byte is lost.
bool utf8CSVRow(QStringList& row, QIODevice* device, bool skipBom);

// Reads rows (dropping a byte-order mark at each) until one has at least minCells cells.
bool utf8CSVRowSkip(QStringList& row, QIODevice* device, int minCells);

// Name to column position; a repeated name keeps its last position.
QHash<QString, int> toHeader(const QStringList& names);

// The cell of the named column, or defaultValue when the column is unknown or the row too short.
QString getCell(const QHash<QString, int>& header, const QStringList& row, const QString& name,
    const QString& defaultValue = QString());

} // namespace csvhelper
