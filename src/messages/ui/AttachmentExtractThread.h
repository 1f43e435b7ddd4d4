#pragma once

#include "app/FittedNames.h"
#include "app/MadeFolders.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QDir>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QThread>

class ProgressForm;
class _MsgAttachment;
class _MsgMessage;

// Copies the attachment files of messages side by side into one folder, each under its device file
// name made unique in the run with "(n)", stamped with its message's time. Nothing that stood there
// is replaced: a file of the user's own with the very bytes is left as it is and counted as
// extracted, else the file goes beside it (see OutputFile::setKeepStanding), named at the end. The folder is
// held from its making (see MadeFolders): moved or swapped for a link meanwhile, it gets nothing more, and
// the run fails. A cancel removes what this run wrote (and the folders the run made), never anything that was
// there before. An attachment whose copy is not what the phone wrote is written all the same but counted
// apart and named, and the run then ends with an error. One left out (no file, one that cannot be
// opened, a name the disk takes in no form fitted to it) is named with why where the run tells how it
// went; one written under a name fitted to the disk (see OutputFile::setFitName) is named there too.
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
    // Empty when written (to *dest), else why it was left out.
    QString writeOne(const _MsgMessage& message, const _MsgAttachment& attachment, QString* dest);
    void noteLeftOut(const _MsgAttachment& attachment, const QString& why);
    // The attachments left out, named (the first ten), as lines; empty when none was.
    QString leftOutText() const;
    void undo();

    // A file this run wrote, kept by what it is so that only that one is taken back.
    struct Written {
        QString name;
        dev_t dev;
        ino_t ino;
    };

    ProgressForm* m_form;
    QList<_MsgMessage*> m_messages;
    QDir m_folder;
    HeldFolder m_held; // the folder written into
    QList<Written> m_written;
    QSet<QString> m_placed; // the names meant and given in this run
    QSet<QString> m_owned; // the names the attachments of the run are made
    int m_leftOut = 0;
    QStringList m_leftOutNamed; // the first of those left out, each with why
    MadeFolders m_madeFolders;
    NotAsWrittenAttachments m_notAsWritten;
    FittedNames m_fitted; // written under names the disk takes, as it refused their own
};
