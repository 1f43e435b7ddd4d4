#include "app/FittedNames.h"

#include "app/CountText.h"

#include <QDir>

namespace
{
// Files named at most; the count tells the rest.
constexpr qsizetype kNamed = 10;
} // namespace

void FittedNames::add(const QString& path, const QString& placed)
{
    if (++m_count <= kNamed)
        m_named << QStringLiteral("%1 as %2").arg(QDir::toNativeSeparators(path), placed);
}

void FittedNames::add(const FittedNames& other)
{
    m_count += other.m_count;
    m_named += other.m_named.mid(0, qMax<qsizetype>(0, kNamed - m_named.size()));
}

QString FittedNames::text() const
{
    if (m_count == 0)
        return QString();
    return CountText::listed(m_count,
        QStringLiteral("1 file was written under another name, as the disk does not take its own:"),
        QStringLiteral("%1 files were written under other names, as the disk does not take their own:"),
        m_named)
        .join(QLatin1Char('\n'));
}

QString FittedNames::after(const QString& closing) const
{
    return isEmpty() ? closing : closing + QLatin1Char('\n') + text();
}
