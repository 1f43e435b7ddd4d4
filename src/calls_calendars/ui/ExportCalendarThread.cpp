#include "calls_calendars/ui/ExportCalendarThread.h"

#include "app/AppInfo.h"
#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CalendarExport.h"
#include "calls_calendars/NamedEvents.h"
#include "calls_calendars/ProgressThrottle.h"

ExportCalendarThread::ExportCalendarThread(
    QList<_CalEvent> events, QString path, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_events(std::move(events))
    , m_path(std::move(path))
    , m_form(form)
{
}

void ExportCalendarThread::run()
{
    try {
        CalendarExport out(m_path, AppInfo::displayName());
        out.init();
        const int n = int(m_events.size());
        int done = 0;
        NamedEvents noStart; // left out
        NamedEvents noRule; // written without their repeat rules
        ProgressThrottle throttle;
        for (const _CalEvent& event : m_events) {
            if (m_form->cancelled)
                return;
            ++done;
            const int percent = int(double(done) / n * 100.0);
            if (throttle.due(percent))
                m_form->invokeUpdateProgress(
                    tr("IDS_EXPORTING_CALENDAR_ITEMS"), percent, tr("%1 / %2").arg(done).arg(n));
            out.write(event);
            if (!out.carries(event))
                noStart.add(event);
            else if (out.dropsRule(event))
                noRule.add(event);
        }
        if (m_form->cancelled)
            return;
        out.uninit();
        m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CALENDAR_ITEMS").arg(n - noStart.count())
            + noStart.text(
                tr("IDS_LEFT_OUT_1_EVENT_WITHOUT_START"), tr("IDS_LEFT_OUT_%1_EVENTS_WITHOUT_START"))
            + noRule.text(tr("IDS_LEFT_OUT_RULE_OF_1_EVENT"), tr("IDS_LEFT_OUT_RULES_OF_%1_EVENTS")));
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
