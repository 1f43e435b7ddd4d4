#include "messages/ui/MMSPrinter.h"

#include "messages/store/MsgMessage.h"
#include "messages/ui/MMSPrinterPrivacy.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

MMSPrinter::MMSPrinter(QObject* parent)
    : QObject(parent)
{
}

void MMSPrinter::printMMS(const QList<_MsgMessage*>& messages)
{
    m_messages = messages;
    sortMsgMessages(m_messages);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    // Without an installed printer the preview still works, on a PDF printer.
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(tr("IDS_PRINT_MMS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &MMSPrinter::onPaintRequested);
    dialog.exec();
}

void MMSPrinter::onPaintRequested(QPrinter* printer)
{
    MMSPrinterPrivacy page;
    page.reset(printer);
    for (const _MsgMessage* m : std::as_const(m_messages))
        page.print(m);
}
