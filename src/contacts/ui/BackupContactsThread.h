#pragma once

#include "contacts/store/_Contact.h"

#include <QList>
#include <QThread>

class LocalContactsDb;
class ProgressForm;

// Saves contacts into a local contacts store in one edit, merging each into what the store holds,
// and reports to a progress dialog. The store and the dialog must outlive the thread.
class BackupContactsThread : public QThread
{
    Q_OBJECT
public:
    BackupContactsThread(LocalContactsDb* store, QList<pim::_Contact> contacts, ProgressForm* progress,
        QObject* parent = nullptr);
    ~BackupContactsThread() override = default;

protected:
    void run() override;

private:
    LocalContactsDb* m_store;
    QList<pim::_Contact> m_contacts;
    ProgressForm* m_progress;

    void import(int& done, int& merges);
    void rollBack();
};
