#include "messages/ui/AbsMsgTextFileExport.h"

#include <stdexcept>

AbsMsgTextFileExport::AbsMsgTextFileExport(const QString& path)
    : m_file(path)
{
}

void AbsMsgTextFileExport::init()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Text))
        throwWriteError();
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
    m_stream.setGenerateByteOrderMark(false);
    writeHeader();
    checkLines();
}

void AbsMsgTextFileExport::checkLines()
{
    // The stream hands its buffer to the file as it fills; a failed hand-over shows here.
    if (m_stream.status() != QTextStream::Ok || m_file.failed())
        throwWriteError();
}

void AbsMsgTextFileExport::uninit()
{
    m_stream.flush();
    checkLines();
    if (!m_file.commit())
        throwWriteError();
}

void AbsMsgTextFileExport::throwWriteError()
{
    throw std::runtime_error(m_file.failure().toStdString());
}
