#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class BackupManifest;
class NotAsWrittenAttachments;
class ProgressForm;
class QObject;
class _MsgMessage;

// Merges messages into a backup on this computer whose records have been read (and which is
// unlocked when encrypted): its message folder is cached, the messages merged into a copy of its
// sms.db, and the new database, the attachment files and the manifest written back in the
// backup's own format. A stale -wal or -shm beside sms.db in the backup is replaced by an empty
// one, since the merged database already holds what it had. A write an earlier run left in the
// backup is settled first. Each step runs under a form made by makeForm; the backup is left as it
// was when a step fails or is cancelled. Attachments whose copies are not what the phone wrote are
// written as they are, as any other: the caller tells them, since it ends the restore.
class MessageBackupExport
{
public:
    using FormFactory = std::function<std::unique_ptr<ProgressForm>()>;

    // The number of messages merged, or -1 when a step failed or was cancelled (its form has told
    // the user). When the backup was written, notAsWritten (if given) gets the attachments written
    // into it whose copies are not what the phone wrote.
    static int run(BackupManifest& backup, const QList<_MsgMessage*>& messages, const FormFactory& makeForm,
        QObject* parent = nullptr, NotAsWrittenAttachments* notAsWritten = nullptr);
    // The error such a merge ends with when it wrote attachments whose copies are not what the
    // phone wrote; empty when it wrote none.
    static QString notAsWrittenText(const NotAsWrittenAttachments& notAsWritten, int merged);
};
