#pragma once

#include "messages/ui/PrintedPages.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>

class QPrinter;
class _MsgMessage;

// Prints messages through the print preview dialog. The print is laid out first, on a thread apart
// (PrintLayoutThread) under a progress dialog that may be cancelled: the pictures' previews are
// made and every text laid out into its bubbles while the window answers, and the preview dialog
// opens once all is made. Every page request of the dialog then places what was made, from page 1.
class MMSPrinter : public QObject
{
    Q_OBJECT
public:
    explicit MMSPrinter(QObject* parent = nullptr);

    // Keeps a sorted copy of the list and runs the preview dialog until it closes (none when the
    // making of the previews was cancelled). The records stay owned by the caller's model.
    void printMMS(const QList<_MsgMessage*>& messages);

public slots:
    void onPaintRequested(QPrinter* printer);

private:
    // Lays the print out apart, for printer's page; false when cancelled.
    bool layOut(QPrinter* printer);

    QList<_MsgMessage*> m_messages;
    QSharedPointer<const PrintedPages> m_pages;
};
