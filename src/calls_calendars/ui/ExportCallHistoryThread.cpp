#include "calls_calendars/ui/ExportCallHistoryThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CallHistoryExport.h"
#include "calls_calendars/ProgressThrottle.h"

ExportCallHistoryThread::ExportCallHistoryThread(
    QList<_CallHistory> calls, QString path, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_calls(std::move(calls))
    , m_path(std::move(path))
    , m_form(form)
{
}

void ExportCallHistoryThread::run()
{
    try {
        // The file is removed again unless the export completes (cancel or failure).
        CallHistoryExport out(m_path);
        out.init();
        const int n = int(m_calls.size());
        int count = 0;
        ProgressThrottle throttle;
        for (const _CallHistory& call : m_calls) {
            if (m_form->cancelled)
                return;
            ++count;
            const int percent = int(double(count) / n * 100.0);
            if (throttle.due(percent))
                m_form->invokeUpdateProgress(QString(), percent, tr("%1 / %2").arg(count).arg(n));
            out.write(call);
        }
        if (m_form->cancelled)
            return;
        out.uninit();
        m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CALLS").arg(count));
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
