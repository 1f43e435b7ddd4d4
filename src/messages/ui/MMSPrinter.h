#pragma once

#include "messages/ui/MMSPrinterPrivacy.h"

#include <QHash>
#include <QList>
#include <QObject>

class QPrinter;
class _MsgMessage;

// Prints messages through the print preview dialog; every page request of the dialog paints the
// whole list again from page 1. The previews of the pictures and contact cards are made first, on a
// thread apart (MsgPreviewThread) under a progress dialog that may be cancelled: the window answers
// meanwhile, and the preview dialog opens once all are made.
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
    // Makes the previews of the messages' pictures and cards apart; false when cancelled.
    bool makePreviews();

    QList<_MsgMessage*> m_messages;
    QHash<quintptr, MMSPrinterPrivacy::Preview> m_previews;
};
