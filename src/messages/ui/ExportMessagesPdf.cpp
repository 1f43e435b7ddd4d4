#include "messages/ui/ExportMessagesPdf.h"

#include <stdexcept>

ExportMessagesPdf::ExportMessagesPdf(const HeldFolder& folder, const QString& name)
    : m_out(folder, name)
    , m_printer(QPrinter::ScreenResolution)
{
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    m_out.setFitName(true);
    if (!m_out.open(QIODevice::WriteOnly))
        return; // init() says why
    // The printer opens the temporary by a name that looks up no folder again.
    m_printer.setOutputFileName(m_out.openedPath());
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
    const bool painted = m_page.end();
    if (!m_out.commitWritten(
            [&](const QString& path) { return painted && OutputFile::endsWith(path, "%%EOF\n"); }))
        throwNotWritten();
}

void ExportMessagesPdf::throwNotWritten() const
{
    const QString text = m_out.failed()
        ? m_out.failure()
        : QStringLiteral("Cannot write the PDF file %1.").arg(m_out.fileName());
    throw std::runtime_error(text.toStdString());
}
