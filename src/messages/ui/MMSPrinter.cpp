#include "messages/ui/MMSPrinter.h"

#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/MMSPrinterPrivacy.h"
#include "messages/ui/PrintLayoutThread.h"

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
    m_pages.reset();
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    // Without an installed printer the preview still works, on a PDF printer.
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    if (!layOut(&printer))
        return;
    QPrintPreviewDialog dialog(&printer);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(tr("IDS_PRINT_MMS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &MMSPrinter::onPaintRequested);
    dialog.exec();
}

void MMSPrinter::onPaintRequested(QPrinter* printer)
{
    if (m_pages) {
        m_pages->paint(printer, MMSPrinterPrivacy::drawingRect(printer));
        return;
    }
    // Not laid out beforehand: laid out while painting.
    MMSPrinterPrivacy page;
    page.reset(printer);
    for (const _MsgMessage* m : std::as_const(m_messages))
        page.print(m);
}

bool MMSPrinter::layOut(QPrinter* printer)
{
    QList<MMSPrinterPrivacy::Entry> entries;
    entries.reserve(m_messages.size());
    for (const _MsgMessage* m : std::as_const(m_messages))
        entries.append(MMSPrinterPrivacy::entryOf(*m));
    // Left to end on its own when cancelled: a picture being read is never waited for.
    auto* thread = new PrintLayoutThread(
        std::move(entries), MMSPrinterPrivacy::drawingRect(printer), printer->resolution());
    ProgressForm form(tr("IDS_PRINT_PREVIEWS_MMS"), qobject_cast<QWidget*>(parent()));
    form.setQuiet(true);
    connect(thread, &PrintLayoutThread::progressed, &form,
        [&form](int percent) { form.updateProgress(QString(), percent, QString()); });
    connect(
        thread, &PrintLayoutThread::laidOut, &form, [this, &form](QSharedPointer<const PrintedPages> pages) {
            m_pages = pages;
            form.succeed(QString());
        });
    thread->start();
    if (form.exec() == 1)
        return true;
    thread->cancel();
    return false;
}
