#pragma once

#include <QString>
#include <QStringList>

// A text of the program's own that counts something, in its singular form for one.
class CountText
{
public:
    // one when n is 1, else many with %1 set to n.
    static QString of(qint64 n, const QString& one, const QString& many);
    // The lines of a list of n things: of(n, one, many) as its heading, the first of them (named),
    // and "... and <k> more." for the k after those.
    static QStringList listed(qint64 n, const QString& one, const QString& many, const QStringList& named);
};
