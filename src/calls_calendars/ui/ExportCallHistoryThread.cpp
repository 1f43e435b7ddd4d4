#include "calls_calendars/ui/ExportCallHistoryThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/CallHistoryExport.h"

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
        for (const _CallHistory& call : m_calls) {
            if (m_form->cancelled)
                return;
            ++count;
            m_form->invokeUpdateProgress(
                QString(), int(double(count) / n * 100.0), tr("%1 / %2").arg(count).arg(n));
            out.write(call);
        }
        if (m_form->cancelled)
            return;
        out.uninit();
        m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CALLS").arg(count));
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
}
