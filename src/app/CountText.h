#pragma once

#include <QString>

// A text of the program's own that counts something, in its singular form for one.
class CountText
{
public:
    // one when n is 1, else many with %1 set to n.
    static QString of(qint64 n, const QString& one, const QString& many);
};
