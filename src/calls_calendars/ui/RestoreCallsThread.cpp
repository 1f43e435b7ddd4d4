#include "calls_calendars/ui/RestoreCallsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/IOSCallHistoryDb.h"

RestoreCallsThread::RestoreCallsThread(
    QList<_CallHistory> calls, const QDir& cacheFolder, ProgressForm& form, QObject* parent, bool encrypted)
    : QThread(parent)
    , m_calls(std::move(calls))
    , m_cacheFolder(cacheFolder)
    , m_form(form)
    , m_encrypted(encrypted)
{
}

void RestoreCallsThread::run()
{
    IOSCallHistoryDb db(m_cacheFolder, m_encrypted);
    if (m_calls.isEmpty()) {
        m_form.invokeErrorOccurred(tr("IDS_NO_CALLS_TO_RESTORE"));
        return;
    }
    try {
        const int n = int(m_calls.size());
        doneCount = 0;
        db.beginSave();
        for (const _CallHistory& call : m_calls) {
            if (m_form.cancelled) {
                db.cancelSave();
                return;
            }
            ++doneCount;
            m_form.invokeUpdateProgress(tr("IDS_MERGING_CALL_TO_DEVICE_DB"),
                int(double(doneCount) / n * 49.0 + 50.0),
                QStringLiteral("Calls: %1 / %2").arg(doneCount).arg(n));
            db.saveCall(call);
        }
        db.endSaveCommit();
        db.close();
        if (db.dbFileName() == QLatin1String(IOSCallHistoryDb::kStoreFile))
            items.append({ "HomeDomain", m_cacheFolder.absoluteFilePath(db.dbFileName()),
                "Library/CallHistoryDB/CallHistory.storedata", true, true });
        else
            items.append({ "WirelessDomain", m_cacheFolder.absoluteFilePath(db.dbFileName()),
                "Library/CallHistory/call_history.db", true, true });
        m_form.invokeSucceed(QString());
    } catch (const std::exception& e) {
        if (db.inSave()) {
            try {
                db.cancelSave();
            } catch (const std::exception& rollback) {
                qWarning("Rolling back the call database failed: %s", rollback.what());
            }
        }
        // Plain text: the message box that shows it escapes it for itself (Tips), the probe prints it.
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
