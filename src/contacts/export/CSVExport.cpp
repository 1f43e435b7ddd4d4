#include "contacts/export/CSVExport.h"

#include "app/CsvHelper.h"

QString CSVExport::cell(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QString formatted = csvhelper::formatCell(text);
    // A lone carriage return would end the record for most readers.
    if (text.contains(QLatin1Char('\r')) && !formatted.startsWith(QLatin1Char('"')))
        return QLatin1Char('"') + formatted + QLatin1Char('"');
    return formatted;
}

QByteArray CSVExport::cols2Bytes(const QStringList& columns)
{
    QStringList cells;
    cells.reserve(columns.size());
    for (const QString& c : columns)
        cells.append(cell(c));
    return (cells.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
}

QByteArray CSVExport::rowData2Bytes(const QString* cells, int count)
{
    QString line;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += cell(cells[i]);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}
