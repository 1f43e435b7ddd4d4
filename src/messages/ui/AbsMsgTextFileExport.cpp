#include "messages/ui/AbsMsgTextFileExport.h"

#include <stdexcept>

AbsMsgTextFileExport::AbsMsgTextFileExport(const QString& path)
    : m_file(path)
{
}

void AbsMsgTextFileExport::init()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        throw std::runtime_error(m_file.errorString().toStdString());
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
    m_stream.setGenerateByteOrderMark(false);
    writeHeader();
    checkLines();
}

void AbsMsgTextFileExport::checkLines()
{
    // The stream hands its buffer to the file as it fills; a failed hand-over shows here.
    if (m_stream.status() != QTextStream::Ok || m_file.error() != QFileDevice::NoError)
        throwWriteError();
}

void AbsMsgTextFileExport::uninit()
{
    m_stream.flush();
    if (!m_file.flush())
        throwWriteError();
    checkLines();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throwWriteError();
}

void AbsMsgTextFileExport::throwWriteError()
{
    const QString reason = m_file.errorString();
    throw std::runtime_error(
        QStringLiteral("Can not write %1: %2").arg(m_file.fileName(), reason).toStdString());
}
