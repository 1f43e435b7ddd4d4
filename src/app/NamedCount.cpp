#include "app/NamedCount.h"

#include "app/CountText.h"

namespace
{
// Named at most; the count tells the rest.
constexpr qsizetype kNamed = 10;
} // namespace

void NamedCount::add(const QString& line)
{
    if (++m_count <= kNamed)
        m_named << line;
}

void NamedCount::add(const NamedCount& other)
{
    m_count += other.m_count;
    m_named += other.m_named.mid(0, qMax<qsizetype>(0, kNamed - m_named.size()));
}

QStringList NamedCount::lines(const QString& one, const QString& many) const
{
    return m_count == 0 ? QStringList() : CountText::listed(m_count, one, many, m_named);
}
