#pragma once

#include <QDir>
#include <QList>
#include <QThread>

class IOS6MessageDb;
class ProgressForm;
class _MsgMessage;

// Deletes messages (rowids of the store they were read from) from the local message store of a
// folder in one transaction, then removes the attachment files that no remaining row refers to,
// with the files an earlier version kept them in (MsgEarlierCopies) that no remaining row leads to.
// A cancel or a failure rolls everything back and removes no file.
class DeleteMMSThread : public QThread
{
    Q_OBJECT
public:
    DeleteMMSThread(
        const QDir& folder, const QList<_MsgMessage*>& messages, ProgressForm& form, QObject* parent);

protected:
    void run() override;

private:
    void deleteThrow(IOS6MessageDb& db);
    void removeFreedFiles(IOS6MessageDb& db);

    QDir m_folder;
    QList<_MsgMessage*> m_messages;
    ProgressForm& m_form;
};
