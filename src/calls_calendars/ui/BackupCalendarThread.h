#pragma once

#include "app/ui/shared/StoreSaveThread.h"
#include "calls_calendars/_CalEvent.h"

#include <QList>

class LocalCalendarsDb;

// Saves events into a local calendar store in one transaction, each into the calendar of its name.
class BackupCalendarThread : public StoreSaveThread
{
    Q_OBJECT
public:
    BackupCalendarThread(
        LocalCalendarsDb* store, QList<_CalEvent> events, ProgressForm* form, QObject* parent = nullptr);

protected:
    void saveAllThrow() override;

private:
    LocalCalendarsDb* m_store;
    QList<_CalEvent> m_events;
};
