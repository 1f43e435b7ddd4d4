#include "calls_calendars/ui/BackupCalendarThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/ProgressThrottle.h"

BackupCalendarThread::BackupCalendarThread(
    LocalCalendarsDb* store, QList<_CalEvent> events, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_store(store)
    , m_events(std::move(events))
    , m_form(form)
{
}

void BackupCalendarThread::run()
{
    bool began = false;
    try {
        const int n = int(m_events.size());
        m_store->beginEdit();
        began = true;
        int i = 0;
        ProgressThrottle throttle;
        for (const _CalEvent& event : m_events) {
            if (m_form->cancelled) {
                m_store->endEdit(false);
                return;
            }
            ++i;
            const int percent = int(double(i) / n * 100.0);
            if (throttle.due(percent))
                m_form->invokeUpdateProgress(
                    tr("IDS_BACKUPING_CALENDAT_ITEMS"), percent, tr("Calendar event:%1 / %2").arg(i).arg(n));
            m_store->saveEvent(0, event, nullptr);
        }
        m_store->endEdit(true);
        m_form->invokeSucceed(tr("IDS_SUC_BACKUP_%1_CALENDAR_ITEMS").arg(i));
    } catch (const std::exception& e) {
        if (began) {
            try {
                m_store->endEdit(false);
            } catch (const std::exception& rollback) {
                qWarning("Rolling back the calendar store failed: %s", rollback.what());
            }
        }
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
}
