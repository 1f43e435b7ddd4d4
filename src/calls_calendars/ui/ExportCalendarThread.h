#pragma once

#include "calls_calendars/_CalEvent.h"

#include <QList>
#include <QThread>

class ProgressForm;

// Writes events to an iCalendar or CSV file (by the path's suffix).
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
