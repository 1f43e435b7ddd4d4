#pragma once

#include "app/MadeFolders.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <QThread>

class ProgressForm;
class _MsgAttachment;
class _MsgMessage;

// Copies the attachment files of messages side by side into one folder, each under its device file
// name made unique with "(n)", stamped with its message's time. A cancel removes what this run
// wrote (and the folders the run made), never anything that was there before. An attachment
// whose copy is not what the phone wrote is written all the same but counted apart and named, and
// the run then ends with an error.
class AttachmentExtractThread : public QThread
{
    Q_OBJECT
public:
    AttachmentExtractThread(
        ProgressForm* form, QList<_MsgMessage*> messages, QString folder, QObject* parent);

protected:
    void run() override;

private:
    // False when the attachment is left out (missing, unreadable, a name the disk refuses) or not
    // what the phone wrote; throws with the path and the reason when its copy cannot be written.
    bool extractOne(const _MsgMessage& message, const _MsgAttachment& attachment);
    bool writeOne(const _MsgMessage& message, const _MsgAttachment& attachment, QString* dest);
    void undo();

    ProgressForm* m_form;
    QList<_MsgMessage*> m_messages;
    QDir m_folder;
    QStringList m_written;
    MadeFolders m_madeFolders;
    NotAsWrittenAttachments m_notAsWritten;
};
