#pragma once

#include "messages/store/MsgAttachment.h"

#include <QList>
#include <QString>
#include <QThread>
#include <QVariant>
#include <functional>

// Makes the previews of one conversation page's (or one printing's) pictures and contact cards off
// the window's thread, in the order given: a picture, however crafted, is read and decoded here (within
// PictureDecoder's bounds). Each preview reaches the page by the queued signal previewReady. The
// thread holds copies of the attachments and nothing of the page, so the page may go at any time:
// cancel() asks it to end without waiting for it (a decoding under way stops at its next read),
// and it deletes itself once ended.
class MsgPreviewThread : public QThread
{
    Q_OBJECT
public:
    // One attachment's preview (the markup that shows it, or the picture a printed page draws);
    // called on this thread.
    using Maker = std::function<QVariant(const _MsgAttachment&)>;
    struct Job {
        quintptr key; // the page's name for the attachment, handed back with its preview
        _MsgAttachment attachment;
    };

    MsgPreviewThread(QList<Job> jobs, Maker make);

    // Asks the thread to end, and returns at once; the thread deletes itself when it has ended.
    void cancel();

signals:
    void previewReady(quintptr key, const QVariant& preview);

protected:
    void run() override;

private:
    const QList<Job> m_jobs;
    const Maker m_make;
};
