#include "contacts/export/CSVExport.h"

#include <algorithm>
#include <vector>

namespace
{
// Whether a cell must be quoted, and whether it holds a double quote (to be doubled).
bool needsQuotes(QStringView text, bool& doubled)
{
    bool quote = false;
    doubled = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u > u',')
            continue; // every special character is at or below the comma
        if (u == u'"')
            quote = doubled = true;
        else if (u == u',' || u == u'\n'
            || u == u'\r') // a lone carriage return would end the record for most readers
            quote = true;
    }
    return quote;
}

void appendQuoted(QString& out, const QString& text, bool doubled)
{
    out += QLatin1Char('"');
    if (doubled) {
        QString inner = text;
        inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
        out += inner;
    } else {
        out += text;
    }
    out += QLatin1Char('"');
}
} // namespace

QString CSVExport::cell(const QString& text)
{
    bool doubled = false;
    if (!needsQuotes(text, doubled))
        return text; // shared, no copy
    QString out;
    appendQuoted(out, text, doubled);
    return out;
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
    // The line's exact length first, then its characters written in place.
    std::vector<char> quoted(std::size_t(qMax(count, 0)));
    qsizetype size = qMax(count, 1); // the commas and the line feed
    for (int i = 0; i < count; ++i) {
        bool doubled = false;
        quoted[std::size_t(i)] = needsQuotes(cells[i], doubled) ? (doubled ? 2 : 1) : 0;
        size += cells[i].size();
        if (quoted[std::size_t(i)] != 0)
            size += 2 + (doubled ? cells[i].count(QLatin1Char('"')) : 0);
    }
    QString line(size, Qt::Uninitialized);
    QChar* out = line.data();
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            *out++ = QLatin1Char(',');
        const QString& text = cells[i];
        if (quoted[std::size_t(i)] == 0) {
            std::copy(text.cbegin(), text.cend(), out);
            out += text.size();
            continue;
        }
        *out++ = QLatin1Char('"');
        for (const QChar c : text) {
            *out++ = c;
            if (c == QLatin1Char('"'))
                *out++ = c;
        }
        *out++ = QLatin1Char('"');
    }
    *out++ = QLatin1Char('\n');
    Q_ASSERT(out - line.constData() == size);
    return line.toUtf8();
}
