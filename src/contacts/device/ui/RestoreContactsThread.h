#pragma once

#include "contacts/store/_Contact.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QThread>

class LocalContactsDb;
class ProgressForm;
class SyncRecordWriter;

// Restores contacts to a connected device over mobilesync: the device's contacts are read into a
// working store in a private temporary folder (removed after the run), the given contacts are
// merged into it in batches of at most 10, and what each batch added or changed is sent.
class RestoreContactsThread : public QThread
{
    Q_OBJECT
public:
    RestoreContactsThread(
        QString udid, QList<pim::_Contact> contacts, ProgressForm* form, QObject* parent = nullptr);
    ~RestoreContactsThread() override = default;

    // Merges and sends entries start to start + count - 1; leaves the store's edit open when it
    // throws (a cancel, or a std::exception).
    void handleBatch(LocalContactsDb& store, int start, int count);

protected:
    void run() override;

private:
    using Changes = QMap<int, QList<pim::Entity>>;

    QString udid;
    QList<pim::_Contact> contacts;
    ProgressForm* form;
    int doneCount = 0;
    int totalCount = 0;
    bool editing = false;
    int mergedCount = 0;

    void restore(LocalContactsDb& store);
    void checkCancel() const;
    void mergeBatch(LocalContactsDb& store, int start, int count, QList<unsigned long long>& sendList,
        QMap<unsigned long long, QString>& recordIds, QMap<unsigned long long, Changes>& changes);
    void sendBatch(LocalContactsDb& store, const QList<unsigned long long>& sendList,
        QMap<unsigned long long, QString>& recordIds, const QMap<unsigned long long, Changes>& changes);
    void sendContacts(SyncRecordWriter& writer, LocalContactsDb& store, const QList<unsigned long long>& ids,
        QMap<unsigned long long, QString>& recordIds);
    void sendEntities(SyncRecordWriter& writer, LocalContactsDb& store,
        const QMap<unsigned long long, Changes>& changes, const QMap<unsigned long long, QString>& recordIds);
};
