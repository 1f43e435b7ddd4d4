#pragma once

#include "contacts/export/AbsTextExport.h"

#include <QList>

// Fixed-width text in UTF-8: each column padded with blanks to its width (a longer value is
// written whole and pushes the rest of its line right), line breaks inside a cell as blanks.
class TxtExport : public AbsTextExport
{
public:
    static int colWidth(const QString& column);

protected:
    QByteArray cols2Bytes(const QStringList& columns) override;
    QByteArray rowData2Bytes(const QString* cells, int count) override;

private:
    QList<int> colWidths;
};
