#include "calls_calendars/ui/BackupCallsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ProgressThrottle.h"

BackupCallsThread::BackupCallsThread(
    LocalCallHistoryDb& store, QList<_CallHistory> calls, ProgressForm& form, QObject* parent)
    : StoreSaveThread(&store, &form, parent)
    , m_store(store)
    , m_calls(std::move(calls))
{
}

void BackupCallsThread::saveAllThrow()
{
    const int n = int(m_calls.size());
    int i = 0;
    ProgressThrottle throttle;
    m_store.insertCallHistories(m_calls, [&](qsizetype) {
        if (m_form->cancelled)
            throw Cancelled();
        ++i;
        const int percent = int(double(i) / n * 100.0);
        if (throttle.due(percent))
            m_form->invokeUpdateProgress(
                tr("IDS_BACKUPING_CALLS"), percent, QStringLiteral("Calls:%1 / %2").arg(i).arg(n));
    });
    m_store.endEdit(true);
    m_form->invokeSucceed(tr("IDS_SUC_BACKUP_%1_CALLS").arg(i));
}
