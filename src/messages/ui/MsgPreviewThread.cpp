#include "messages/ui/MsgPreviewThread.h"

MsgPreviewThread::MsgPreviewThread(QList<Job> jobs, Maker make)
    : m_jobs(std::move(jobs))
    , m_make(std::move(make))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void MsgPreviewThread::cancel()
{
    requestInterruption();
}

void MsgPreviewThread::run()
{
    for (const Job& job : m_jobs) {
        if (isInterruptionRequested())
            return;
        const QVariant preview = m_make(job.attachment);
        if (isInterruptionRequested())
            return; // perhaps stopped part-way, and nobody to show it to
        emit previewReady(job.key, preview);
    }
}
