#include "app/FittedNames.h"

#include <QDir>

void FittedNames::add(const QString& path, const QString& placed)
{
    m_files.add(QStringLiteral("%1 as %2").arg(QDir::toNativeSeparators(path), placed));
}

void FittedNames::add(const FittedNames& other)
{
    m_files.add(other.m_files);
}

QString FittedNames::text() const
{
    return m_files
        .lines(QStringLiteral("1 file was written under another name, as the disk does not take its own:"),
            QStringLiteral("%1 files were written under other names, as the disk does not take their own:"))
        .join(QLatin1Char('\n'));
}

QString FittedNames::after(const QString& closing) const
{
    return isEmpty() ? closing : closing + QLatin1Char('\n') + text();
}
