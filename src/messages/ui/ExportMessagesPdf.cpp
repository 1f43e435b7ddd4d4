#include "messages/ui/ExportMessagesPdf.h"

#include <QFileInfo>
#include <stdexcept>

ExportMessagesPdf::ExportMessagesPdf(const QString& filePath)
    : m_printer(QPrinter::ScreenResolution)
{
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(filePath);
    m_printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    m_page.reset(&m_printer);
}

void ExportMessagesPdf::init()
{
    if (!m_page.isActive())
        throwNotWritten();
}

void ExportMessagesPdf::write(_MsgMessage& message)
{
    m_page.print(&message);
}

void ExportMessagesPdf::uninit()
{
    const QFileInfo file(m_printer.outputFileName());
    if (!m_page.end() || !QFileInfo(file.absoluteFilePath()).isFile()
        || QFileInfo(file.absoluteFilePath()).size() == 0)
        throwNotWritten();
}

void ExportMessagesPdf::throwNotWritten() const
{
    throw std::runtime_error(
        QStringLiteral("Can not write the PDF file %1.").arg(m_printer.outputFileName()).toStdString());
}
