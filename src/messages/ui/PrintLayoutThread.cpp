#include "messages/ui/PrintLayoutThread.h"

#include "messages/ui/PrintedPages.h"

PrintLayoutThread::PrintLayoutThread(
    QList<MMSPrinterPrivacy::Entry> messages, const QRect& rect, int resolution)
    : m_messages(std::move(messages))
    , m_rect(rect)
    , m_resolution(resolution)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void PrintLayoutThread::run()
{
    auto pages = QSharedPointer<PrintedPages>::create(m_rect, m_resolution);
    MMSPrinterPrivacy page;
    page.record(pages.get());
    const qsizetype total = m_messages.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (isInterruptionRequested())
            return;
        page.print(m_messages.at(i));
        emit progressed(int((i + 1) * 100 / total));
    }
    if (!isInterruptionRequested())
        emit laidOut(pages);
}
