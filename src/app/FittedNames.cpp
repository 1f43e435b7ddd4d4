#include "app/FittedNames.h"

#include <QDir>

namespace
{
QString line(const QString& path, const QString& placed)
{
    return QStringLiteral("%1 as %2").arg(QDir::toNativeSeparators(path), placed);
}
} // namespace

void FittedNames::add(const QString& path, const QString& placed)
{
    m_files.add(line(path, placed));
}

void FittedNames::addBeside(const QString& path, const QString& placed)
{
    m_beside.add(line(path, placed));
}

void FittedNames::add(const QString& path, const OutputFile::Placed& placed)
{
    if (placed.beside)
        addBeside(path, placed.name);
    else if (placed.fitted)
        add(path, placed.name);
}

void FittedNames::add(const FittedNames& other)
{
    m_files.add(other.m_files);
    m_beside.add(other.m_beside);
}

QString FittedNames::text() const
{
    return (
        m_files.lines(
            QStringLiteral("1 file was written under another name, as the disk does not take its own:"),
            QStringLiteral("%1 files were written under other names, as the disk does not take their own:"))
        + m_beside.lines(
            QStringLiteral("1 file was written under another name, as another file stands at its own:"),
            QStringLiteral("%1 files were written under other names, as other files stand at their own:")))
        .join(QLatin1Char('\n'));
}

QString FittedNames::after(const QString& closing) const
{
    return isEmpty() ? closing : closing + QLatin1Char('\n') + text();
}
