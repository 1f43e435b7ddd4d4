#pragma once

#include "calls_calendars/_CalEvent.h"

#include <QList>
#include <QThread>

class LocalCalendarsDb;
class ProgressForm;

// Saves events into a local calendar store in one transaction, each into the calendar of its name.
class BackupCalendarThread : public QThread
{
    Q_OBJECT
public:
    BackupCalendarThread(
        LocalCalendarsDb* store, QList<_CalEvent> events, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    LocalCalendarsDb* m_store;
    QList<_CalEvent> m_events;
    ProgressForm* m_form;
};
