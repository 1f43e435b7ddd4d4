#pragma once

#include "contacts/export/AbsTextExport.h"

// Comma-separated values in UTF-8: the header line, then one line per contact, each ended by
// "\n". A cell holding a comma, a double quote, a line feed or a carriage return is quoted.
class CSVExport : public AbsTextExport
{
public:
    static QString cell(const QString& text);

protected:
    QByteArray cols2Bytes(const QStringList& columns) override;
    QByteArray rowData2Bytes(const QString* cells, int count) override;
};
