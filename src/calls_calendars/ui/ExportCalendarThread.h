#pragma once

#include "calls_calendars/_CalEvent.h"

#include <QList>
#include <QThread>

class ProgressForm;

// Writes events to an iCalendar or CSV file (by the path's suffix). The result counts the events
// written and names what iCalendar left out: events without a start, rules that are no iCalendar
// rules.
class ExportCalendarThread : public QThread
{
    Q_OBJECT
public:
    ExportCalendarThread(
        QList<_CalEvent> events, QString path, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    QList<_CalEvent> m_events;
    QString m_path;
    ProgressForm* m_form;
};
