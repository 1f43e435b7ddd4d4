#include "contacts/export/CSVExport.h"

QString CSVExport::cell(const QString& text)
{
    bool quote = false;
    bool doubled = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"')
            quote = doubled = true;
        else if (u == ',' || u == '\n'
            || u == '\r') // a lone carriage return would end the record for most readers
            quote = true;
    }
    if (!quote)
        return text; // shared, no copy
    QString out = text;
    if (doubled)
        out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
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
    line.reserve(256);
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += cell(cells[i]);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}
