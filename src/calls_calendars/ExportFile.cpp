#include "calls_calendars/ExportFile.h"

#include <QFileInfo>
#include <stdexcept>

ExportFile::ExportFile(const QString& path)
    : m_file(path)
{
}

ExportFile::~ExportFile()
{
    if (m_done)
        return;
    if (m_file.isOpen()) {
        m_file.close();
        m_file.remove();
    }
}

void ExportFile::openThrow()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(m_file.errorString().toStdString());
}

void ExportFile::writeThrow(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size())
        throw std::runtime_error(m_file.errorString().toStdString());
}

void ExportFile::finishThrow()
{
    if (!m_file.flush())
        throw std::runtime_error(m_file.errorString().toStdString());
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throw std::runtime_error(m_file.errorString().toStdString());
    m_done = true;
}

bool ExportFile::isCsvPath(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
}
