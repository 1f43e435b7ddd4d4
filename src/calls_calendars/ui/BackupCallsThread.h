#pragma once

#include "calls_calendars/_CallHistory.h"

#include <QList>
#include <QThread>

class LocalCallHistoryDb;
class ProgressForm;

// Saves calls into a local call-history store in one transaction, skipping stored ones.
class BackupCallsThread : public QThread
{
    Q_OBJECT
public:
    BackupCallsThread(
        LocalCallHistoryDb& store, QList<_CallHistory> calls, ProgressForm& form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    LocalCallHistoryDb& m_store;
    QList<_CallHistory> m_calls;
    ProgressForm& m_form;
};
