#pragma once

#include "messages/ui/MMSPrinterPrivacy.h"

#include <QList>
#include <QRect>
#include <QSharedPointer>
#include <QThread>

class PrintedPages;

// Lays a print of messages out off the window's thread, for one drawing rectangle and resolution:
// reads the pictures' previews and the text attachments, and lays every text out into the bubbles
// the pages draw (a long text takes seconds). The thread holds copies of the messages and nothing
// of the page, so the page may go at any time: cancel() asks it to end without waiting for it (a
// picture being decoded stops at its next read), and it deletes itself once ended.
class PrintLayoutThread : public QThread
{
    Q_OBJECT
public:
    PrintLayoutThread(QList<MMSPrinterPrivacy::Entry> messages, const QRect& rect, int resolution);

    // Asks the thread to end, and returns at once.
    void cancel() { requestInterruption(); }

signals:
    void progressed(int percent);
    // Once every message is laid out; never after a cancel.
    void laidOut(QSharedPointer<const PrintedPages> pages);

protected:
    void run() override;

private:
    const QList<MMSPrinterPrivacy::Entry> m_messages;
    const QRect m_rect;
    const int m_resolution;
};
