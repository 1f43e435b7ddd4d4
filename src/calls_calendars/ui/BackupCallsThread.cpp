#include "calls_calendars/ui/BackupCallsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ProgressThrottle.h"

BackupCallsThread::BackupCallsThread(
    LocalCallHistoryDb& store, QList<_CallHistory> calls, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_store(store)
    , m_calls(std::move(calls))
    , m_form(form)
{
}

void BackupCallsThread::run()
{
    bool began = false;
    try {
        const int n = int(m_calls.size());
        m_store.beginEdit();
        began = true;
        int i = 0;
        ProgressThrottle throttle;
        for (const _CallHistory& call : m_calls) {
            if (m_form.cancelled) {
                m_store.endEdit(false);
                return;
            }
            ++i;
            const int percent = int(double(i) / n * 100.0);
            if (throttle.due(percent))
                m_form.invokeUpdateProgress(
                    tr("IDS_BACKUPING_CALLS"), percent, QStringLiteral("Calls:%1 / %2").arg(i).arg(n));
            m_store.insertCallHistory(call);
        }
        m_store.endEdit(true);
        m_form.invokeSucceed(tr("IDS_SUC_BACKUP_%1_CALLS").arg(i));
    } catch (const std::exception& e) {
        // A store that never opened has nothing to roll back; a failing rollback must not end the
        // thread either.
        if (began) {
            try {
                m_store.endEdit(false);
            } catch (const std::exception& rollback) {
                qWarning("Rolling back the call store failed: %s", rollback.what());
            }
        }
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()).toHtmlEscaped());
    }
}
