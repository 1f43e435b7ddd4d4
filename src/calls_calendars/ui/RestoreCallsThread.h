#pragma once

#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"
#include "calls_calendars/_CallHistory.h"

#include <QDir>
#include <QList>
#include <QThread>

class ProgressForm;

// Writes calls into the copy of a backup's call database in a cache folder, in one transaction,
// and describes the rewritten file for writing back into the backup (items).
class RestoreCallsThread : public QThread
{
    Q_OBJECT
public:
    // encrypted: the backup is encrypted (a missing call database is then said to be missing).
    RestoreCallsThread(QList<_CallHistory> calls, const QDir& cacheFolder, ProgressForm& form,
        QObject* parent = nullptr, bool encrypted = false);

    // Read after the thread ended with success.
    QList<IOSMergeWAFiles2iTunesBKThread::_Item> items;
    int doneCount = 0;

protected:
    void run() override;

private:
    QList<_CallHistory> m_calls;
    QDir m_cacheFolder;
    ProgressForm& m_form;
    bool m_encrypted;
};
