#include "calls_calendars/ui/BackupCalendarThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/NamedEvents.h"
#include "calls_calendars/ProgressThrottle.h"

BackupCalendarThread::BackupCalendarThread(
    LocalCalendarsDb* store, QList<_CalEvent> events, ProgressForm* form, QObject* parent)
    : StoreSaveThread(store, form, parent)
    , m_store(store)
    , m_events(std::move(events))
{
}

void BackupCalendarThread::saveAllThrow()
{
    const int n = int(m_events.size());
    int i = 0;
    ProgressThrottle throttle;
    NamedEvents undated; // saved without a date the store cannot keep
    for (const _CalEvent& event : std::as_const(m_events)) {
        if (m_form->cancelled)
            throw Cancelled();
        ++i;
        const int percent = int(double(i) / n * 100.0);
        if (throttle.due(percent))
            m_form->invokeUpdateProgress(
                tr("IDS_BACKUPING_CALENDAT_ITEMS"), percent, tr("Calendar event:%1 / %2").arg(i).arg(n));
        m_store->saveEvent(0, event, nullptr);
        if (!LocalCalendarsDb::keepsDate(event.start_date) || !LocalCalendarsDb::keepsDate(event.end_date))
            undated.add(event);
    }
    m_store->endEdit(true);
    m_form->invokeSucceed(tr("IDS_SUC_BACKUP_%1_CALENDAR_ITEMS").arg(i)
        + undated.text(tr("IDS_SAVED_1_EVENT_WITHOUT_DATES"), tr("IDS_SAVED_%1_EVENTS_WITHOUT_DATES")));
}
