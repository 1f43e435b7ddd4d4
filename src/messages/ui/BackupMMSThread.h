#pragma once

#include "messages/store/CountryInfo.h"

#include <QDir>
#include <QList>
#include <QThread>

class ProgressForm;
class _MsgMessage;

// Saves messages into the local message store of a folder through ExportMessagesDb, oldest first,
// in one transaction: a cancel or a failure leaves the store as it was. The messages stay owned by
// the caller's MsgData and must not change until the thread has ended.
class BackupMMSThread : public QThread
{
    Q_OBJECT
public:
    BackupMMSThread(const QDir& folder, const _CountryInfo& country, const QList<_MsgMessage*>& messages,
        ProgressForm& form, QObject* parent);

protected:
    void run() override;

private:
    void saveThrow();

    QDir m_folder;
    _CountryInfo m_country;
    QList<_MsgMessage*> m_messages;
    ProgressForm& m_form;
};
