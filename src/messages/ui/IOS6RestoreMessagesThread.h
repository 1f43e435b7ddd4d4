#pragma once

#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"
#include "messages/store/CountryInfo.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QList>
#include <QThread>

class IOS6MessageDb;
class ProgressForm;
class _MsgMessage;

// Merges chosen messages into a copy of a device backup's message database (see IOS6MessageMerge)
// under a progress dialog; afterwards items lists what to write into the backup, and notAsWritten
// the attachments among them whose copies are not what the phone wrote. The caller removes the
// work file (workPath) once it was written.
class IOS6RestoreMessagesThread : public QThread
{
    Q_OBJECT
public:
    IOS6RestoreMessagesThread(const _CountryInfo& country, const QList<_MsgMessage*>& messages,
        IOS6MessageDb* db, ProgressForm& form, QObject* parent = nullptr);

    QList<IOSMergeWAFiles2iTunesBKThread::_Item> items;
    NotAsWrittenAttachments notAsWritten;
    int unknownChatCount = 0;
    int restoredCount = 0;
    QString workPath;

protected:
    void run() override;

private:
    _CountryInfo country;
    const QList<_MsgMessage*>& messages;
    IOS6MessageDb* db;
    ProgressForm& form;
};
