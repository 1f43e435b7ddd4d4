#pragma once

#include "app/ui/shared/StoreSaveThread.h"
#include "calls_calendars/_CallHistory.h"

#include <QList>

class LocalCallHistoryDb;

// Saves calls into a local call-history store in one transaction, skipping stored ones.
class BackupCallsThread : public StoreSaveThread
{
    Q_OBJECT
public:
    BackupCallsThread(
        LocalCallHistoryDb& store, QList<_CallHistory> calls, ProgressForm& form, QObject* parent = nullptr);

protected:
    void saveAllThrow() override;

private:
    LocalCallHistoryDb& m_store;
    QList<_CallHistory> m_calls;
};
