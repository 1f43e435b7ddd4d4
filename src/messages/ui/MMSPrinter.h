#pragma once

#include <QList>
#include <QObject>

class QPrinter;
class _MsgMessage;

// Prints messages through the print preview dialog; every page request of the dialog paints the
// whole list again from page 1.
class MMSPrinter : public QObject
{
    Q_OBJECT
public:
    explicit MMSPrinter(QObject* parent = nullptr);

    // Keeps a sorted copy of the list and runs the preview dialog until it closes. The records
    // stay owned by the caller's model.
    void printMMS(const QList<_MsgMessage*>& messages);

public slots:
    void onPaintRequested(QPrinter* printer);

private:
    QList<_MsgMessage*> m_messages;
};
