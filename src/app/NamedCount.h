#pragma once

#include <QString>
#include <QStringList>

// What a road counts and names the first of, for the text it ends with: a heading that counts
// them, a line for each of the first, "... and <n> more." for the rest (CountText::listed).
class NamedCount
{
public:
    // Counts one, named by line while fewer than the first are named.
    void add(const QString& line);
    // Counts those other counted, after these.
    void add(const NamedCount& other);
    bool isEmpty() const { return m_count == 0; }
    // The heading (one, or many with %1 set to the count) and the lines; empty when none was counted.
    QStringList lines(const QString& one, const QString& many) const;

private:
    qint64 m_count = 0;
    QStringList m_named;
};
