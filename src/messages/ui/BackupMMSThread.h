#pragma once

#include "messages/store/CountryInfo.h"

#include <QDir>
#include <QList>
#include <QThread>

class NotAsWrittenAttachments;
class ProgressForm;
class _MsgMessage;

// Saves messages into the local message store of a folder through ExportMessagesDb, oldest first,
// in one transaction: a cancel or a failure leaves the store as it was. The messages stay owned by
// the caller's MsgData and must not change until the thread has ended. Attachments whose copies
// are not what the phone wrote are saved as they are, but counted and named apart, and the save
// then ends with an error although the store holds it.
class BackupMMSThread : public QThread
{
    Q_OBJECT
public:
    BackupMMSThread(const QDir& folder, const _CountryInfo& country, const QList<_MsgMessage*>& messages,
        ProgressForm& form, QObject* parent);

    // Whether the messages are in the store: after success, and after the error that names
    // attachments saved as they are.
    bool saved() const { return m_saved; }

protected:
    void run() override;

private:
    void saveThrow();
    static QString failedHeading(qint64 n);
    QString successText(const QStringList& failedCopies, int saved) const;
    QString notAsWrittenText(
        const NotAsWrittenAttachments& damaged, const QStringList& failedCopies, int saved) const;

    QDir m_folder;
    _CountryInfo m_country;
    QList<_MsgMessage*> m_messages;
    ProgressForm& m_form;
    bool m_saved = false;
};
