#include "contacts/export/TxtExport.h"

int TxtExport::colWidth(const QString& c)
{
    static const QStringList fixed { "Prefix", "First Name", "Middle Name", "Last Name", "Suffix", "Nickname",
        "Category", "Company", "Department", "Job Title" };
    if (fixed.contains(c) || c.startsWith(QLatin1String("Tel:")) || c.startsWith(QLatin1String("Email:")))
        return 25;
    if (c.startsWith(QLatin1String("Date:")))
        return 20;
    if (c.startsWith(QLatin1String("Addr:")))
        return c.endsWith(QLatin1String(":Street")) ? 50 : 25;
    if (c.startsWith(QLatin1String("Url:")))
        return 60;
    if (c == QLatin1String("Notes"))
        return 100;
    return 25;
}

QByteArray TxtExport::cols2Bytes(const QStringList& columns)
{
    colWidths.clear();
    QString line;
    for (const QString& c : columns) {
        const int w = colWidth(c);
        colWidths.append(w);
        line += c.leftJustified(w, QLatin1Char(' '), false);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}

QByteArray TxtExport::rowData2Bytes(const QString* cells, int count)
{
    QString line;
    for (int i = 0; i < count; ++i) {
        QString text = cells[i];
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        line += text.leftJustified(i < colWidths.size() ? colWidths.at(i) : 25, QLatin1Char(' '), false);
    }
    line += QLatin1Char('\n');
    return line.toUtf8();
}
