#include "messages/ui/MMSPrinter.h"

#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/MsgPreviewThread.h"

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
    m_previews.clear();
    if (!makePreviews())
        return;
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
    page.usePreviews(&m_previews);
    page.reset(printer);
    for (const _MsgMessage* m : std::as_const(m_messages))
        page.print(m);
}

bool MMSPrinter::makePreviews()
{
    QList<MsgPreviewThread::Job> jobs;
    for (const _MsgMessage* m : std::as_const(m_messages)) {
        if (m->item_type != 0)
            continue;
        for (const _MsgAttachment* a : m->attachments())
            if (MMSPrinterPrivacy::hasPreview(*a))
                jobs.append({ quintptr(a), *a });
    }
    if (jobs.isEmpty())
        return true;
    const qsizetype total = jobs.size();
    // Left to end on its own when cancelled: a picture being read is never waited for.
    auto* thread = new MsgPreviewThread(std::move(jobs),
        [](const _MsgAttachment& a) { return QVariant::fromValue(MMSPrinterPrivacy::makePreview(a)); });
    ProgressForm form(tr("IDS_PRINT_PREVIEWS_MMS"), qobject_cast<QWidget*>(parent()));
    form.setQuiet(true);
    connect(thread, &MsgPreviewThread::previewReady, &form,
        [this, &form, total](quintptr key, const QVariant& made) {
            m_previews.insert(key, made.value<MMSPrinterPrivacy::Preview>());
            form.updateProgress(QString(), int(m_previews.size() * 100 / total), QString());
        });
    connect(thread, &QThread::finished, &form, [&form] { form.succeed(QString()); });
    thread->start();
    if (form.exec() == 1)
        return true;
    thread->cancel();
    return false;
}
