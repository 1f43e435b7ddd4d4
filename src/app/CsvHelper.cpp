#include "app/CsvHelper.h"

#include <QDebug>
#include <stdexcept>

namespace csvhelper
{

namespace
{

    [[noreturn]] void throwReadError(QIODevice* device, const char* where)
    {
        const QString error = device->errorString();
        if (qstrcmp(where, "totalRecords") == 0)
            qDebug("totalRecords::error:%s\n", qPrintable(error));
        else
            qDebug("utf8CSVRow::error:%s", qPrintable(error));
        throw std::runtime_error(error.toUtf8().toStdString());
    }

    QString cellText(const QByteArray& bytes)
    {
        const int nul = int(bytes.indexOf('\0'));
        return QString::fromUtf8(nul >= 0 ? bytes.left(nul) : bytes);
    }

} // namespace

QString formatCell(const QString& cell)
{
    QString out;
    out.reserve(cell.size() + 2);
    bool quote = false;
    for (const QChar c : cell) {
        const char latin1 = c.toLatin1(); // 0 for characters outside Latin-1
        if (latin1 == '\n' || latin1 == '"' || latin1 == ',')
            quote = true;
        if (c == QLatin1Char('"'))
            out += QLatin1Char('"');
        out += c;
    }
    if (quote)
        return QLatin1Char('"') + out + QLatin1Char('"');
    return out;
}

int totalRecords(QIODevice* device)
{
    int count = 0;
    bool quoted = false;
    char c;
    for (;;) {
        const qint64 n = device->read(&c, 1);
        if (n < 0)
            throwReadError(device, "totalRecords");
        if (n == 0)
            break;
        if (c == '"')
            quoted = !quoted;
        else if (c == '\n' && !quoted)
            ++count;
    }
    return count;
}

bool utf8CSVRow(QStringList& row, QIODevice* device, bool skipBom)
{
    if (skipBom) {
        // Peek rather than read: bytes that are not a mark stay in the device for the row.
        const QByteArray head = device->peek(3);
        if (head.isEmpty()) {
            // Nothing to peek: the end, or an error that a read reports.
            char first;
            const qint64 n = device->read(&first, 1);
            if (n < 0)
                throwReadError(device, "utf8CSVRow");
            if (n == 0)
                return false;
            device->ungetChar(first);
        } else if (head == QByteArray("\xEF\xBB\xBF")) {
            device->skip(3);
        }
    }

    QByteArray cell;
    bool quoted = false;
    bool seenQuote = false;
    bool pendingQuote = false;
    auto endCell = [&]() {
        row.append(cellText(cell));
        cell.clear();
        quoted = seenQuote = pendingQuote = false;
    };

    char c;
    for (;;) {
        const qint64 n = device->read(&c, 1);
        if (n < 0)
            throwReadError(device, "utf8CSVRow");
        if (n == 0) {
            endCell();
            return false;
        }
        if (!seenQuote && c == '"') {
            seenQuote = quoted = true;
            continue;
        }
        if (quoted) {
            if (c == '"') {
                if (pendingQuote) {
                    cell.append('"');
                    pendingQuote = false;
                } else {
                    pendingQuote = true;
                }
                continue;
            }
            if (pendingQuote) {
                quoted = pendingQuote = false; // the quoted section ended; handle c below
            } else {
                cell.append(c);
                continue;
            }
        }
        if (c == ',') {
            endCell();
        } else if (c == '\r') {
            // dropped outside quotes
        } else if (c == '\n') {
            endCell();
            return true;
        } else {
            cell.append(c);
        }
    }
}

bool utf8CSVRowSkip(QStringList& row, QIODevice* device, int minCells)
{
    for (;;) {
        if (!utf8CSVRow(row, device, true))
            return false;
        if (row.size() >= minCells)
            return true;
        row.clear();
    }
}

QHash<QString, int> toHeader(const QStringList& names)
{
    QHash<QString, int> header;
    for (int i = 0; i < names.size(); ++i)
        header.insert(names[i], i);
    return header;
}

QString getCell(const QHash<QString, int>& header, const QStringList& row, const QString& name,
    const QString& defaultValue)
{
    auto it = header.constFind(name);
    if (it == header.constEnd() || it.value() < 0 || it.value() >= row.size())
        return defaultValue;
    return row[it.value()];
}

} // namespace csvhelper
