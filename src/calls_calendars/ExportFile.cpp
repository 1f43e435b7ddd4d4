#include "calls_calendars/ExportFile.h"

#include <QFileInfo>
#include <stdexcept>

ExportFile::ExportFile(const QString& path)
    : m_file(path)
{
}

void ExportFile::openThrow()
{
    if (!m_file.open(QIODevice::WriteOnly))
        throwFailure();
}

void ExportFile::writeThrow(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size())
        throwFailure();
}

void ExportFile::finishThrow()
{
    if (!m_file.commit())
        throwFailure();
}

void ExportFile::throwFailure() const
{
    throw std::runtime_error(m_file.failure().toStdString());
}

bool ExportFile::isCsvPath(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
}
