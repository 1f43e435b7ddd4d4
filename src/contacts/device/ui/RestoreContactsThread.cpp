#include "contacts/device/ui/RestoreContactsThread.h"

#include "app/RunFolder.h"
#include "app/ui/shared/ProgressForm.h"
#include "contacts/device/ContactSyncRecords.h"
#include "contacts/device/IOSContactsLoader.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "device/SyncRecordWriter.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

namespace
{
const int kBatch = 10;
const int kPerMessage = 20;

// Thrown inside the worker when the user cancelled; never leaves run().
struct RestoreCancelled {
};

// Whether a change set touches a value the Contact record carries.
bool needsContactRecord(const QMap<int, QList<pim::Entity>>& changes)
{
    for (int kind : { pim::KindName, pim::KindPhoto, pim::KindNote, pim::KindOrg, pim::KindNickname })
        if (!changes.value(kind).isEmpty())
            return true;
    for (const pim::Entity& e : changes.value(pim::KindDate))
        if (e.code(QStringLiteral("data2")) == 3)
            return true;
    return false;
}

// Adds a merge's written entities to what a contact already collected in this batch: a later
// version of one entity replaces the earlier, so two merges into one contact send both change sets.
void addChanges(QMap<int, QList<pim::Entity>>& into, const QMap<int, QList<pim::Entity>>& more)
{
    for (auto it = more.cbegin(); it != more.cend(); ++it) {
        QList<pim::Entity>& list = into[it.key()];
        for (const pim::Entity& e : it.value()) {
            auto same
                = std::find_if(list.begin(), list.end(), [&e](const pim::Entity& x) { return x.id == e.id; });
            if (same != list.end())
                *same = e;
            else
                list.append(e);
        }
    }
}

// The device's file-name-safe form of a UDID (letters, digits and "-" only).
QString safeName(const QString& udid)
{
    QString s = udid;
    s.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9-]")), QStringLiteral("_"));
    return s.isEmpty() ? QStringLiteral("device") : s;
}
} // namespace

RestoreContactsThread::RestoreContactsThread(
    QString udid, QList<pim::_Contact> contacts, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , udid(std::move(udid))
    , contacts(std::move(contacts))
    , form(form)
{
}

void RestoreContactsThread::checkCancel() const
{
    if (form->cancelled)
        throw RestoreCancelled();
}

void RestoreContactsThread::run()
{
    totalCount = int(contacts.size());
    doneCount = 0;
    mergedCount = 0;
    editing = false;
    // The working copy lives in a private folder that goes with the run, half-built or not.
    QTemporaryDir work(RunFolder::templateFor(QStringLiteral("qm-contacts")));
    if (!work.isValid()) {
        form->invokeErrorOccurred(
            QStringLiteral("Cannot create a temporary folder: %1").arg(work.errorString()));
        return;
    }
    LocalContactsDb store(work.filePath(safeName(udid) + QStringLiteral("-contacts.db")),
        QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    auto rollback = [&] {
        try {
            if (editing)
                store.endEdit(false);
        } catch (const std::exception& e) {
            qWarning("Contacts restore store not rolled back: %s", e.what());
        }
        editing = false;
    };
    try {
        restore(store);
    } catch (const RestoreCancelled&) {
        rollback();
    } catch (const std::exception& e) {
        rollback();
        form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    } catch (...) {
        rollback();
        form->invokeErrorOccurred(QStringLiteral("Unknown error while restoring contacts."));
    }
    store.close();
}

void RestoreContactsThread::restore(LocalContactsDb& store)
{
    form->invokeUpdateProgress(tr("IDS_LOADING_IOS_DEVICE_CONTACTS"), -1, QString());
    if (QFile::exists(store.path))
        store.deleteDbFile();
    store.beginEdit();
    editing = true;
    loadIOSContacts(udid, store);
    store.endEdit(true);
    editing = false;
    while (doneCount < totalCount)
        handleBatch(store, doneCount, std::min(totalCount - doneCount, kBatch));
    if (mergedCount > 0)
        form->invokeSucceed(tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS_MERGED_%2")
                                .arg(doneCount - mergedCount)
                                .arg(mergedCount));
    else
        form->invokeSucceed(tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS").arg(doneCount));
}

void RestoreContactsThread::handleBatch(LocalContactsDb& store, int start, int count)
{
    store.beginEdit();
    editing = true;
    QList<unsigned long long> sendList;
    QMap<unsigned long long, QString> recordIds;
    QMap<unsigned long long, Changes> changes;
    mergeBatch(store, start, count, sendList, recordIds, changes);
    if (!sendList.isEmpty() || !changes.isEmpty())
        sendBatch(store, sendList, recordIds, changes);
    store.endEdit(true);
    editing = false;
}

void RestoreContactsThread::mergeBatch(LocalContactsDb& store, int start, int count,
    QList<unsigned long long>& sendList, QMap<unsigned long long, QString>& recordIds,
    QMap<unsigned long long, Changes>& changes)
{
    for (int i = start; i < start + count; ++i) {
        checkCancel();
        ++doneCount;
        form->invokeUpdateProgress(tr("IDS_MERGING_CONTACTS"), int(double(doneCount) / totalCount * 100.0),
            tr("Contacts:%1/%2").arg(doneCount).arg(totalCount));
        pim::_Contact stored;
        bool merged = false;
        const Changes result = store.combineContact(contacts.at(i), stored, merged);
        if (merged)
            ++mergedCount;
        if (result.isEmpty())
            continue;
        recordIds[stored.id] = stored.srcId;
        addChanges(changes[stored.id], result);
        if (needsContactRecord(result) && !sendList.contains(stored.id))
            sendList.append(stored.id);
    }
}

void RestoreContactsThread::sendBatch(LocalContactsDb& store, const QList<unsigned long long>& sendList,
    QMap<unsigned long long, QString>& recordIds, const QMap<unsigned long long, Changes>& changes)
{
    SyncRecordWriter writer(QStringLiteral("com.apple.Contacts"));
    try {
        writer.open(udid);
        sendContacts(writer, store, sendList, recordIds);
        sendEntities(writer, store, changes, recordIds);
        writer.finish();
    } catch (const RestoreCancelled&) {
        writer.cancel(QStringLiteral("Cancelled by the user"));
        throw;
    } catch (const std::exception& e) {
        writer.cancel(QString::fromUtf8(e.what()));
        throw;
    }
}

void RestoreContactsThread::sendContacts(SyncRecordWriter& writer, LocalContactsDb& store,
    const QList<unsigned long long>& ids, QMap<unsigned long long, QString>& recordIds)
{
    for (int first = 0; first < ids.size(); first += kPerMessage) {
        checkCancel();
        PlistCFType records = PlistCFType::createCFDictionary();
        QMap<QString, unsigned long long> temporary;
        for (int i = first; i < std::min<int>(first + kPerMessage, ids.size()); ++i) {
            // The contact as the store now holds it, so changed values go out, not the old ones.
            const pim::_Contact contact = store.contact(ids.at(i));
            if (contact.srcId.isEmpty())
                temporary.insert(QStringLiteral("-%1").arg(contact.id), contact.id);
            addPlistDataFromContact(records, contact);
        }
        for (const auto& [sent, newId] : writer.send(records)) {
            const auto it = temporary.constFind(sent);
            if (it == temporary.constEnd())
                continue;
            qDebug("IOS Sync, cid:%llu => %s", it.value(), qUtf8Printable(newId));
            store.updateContactBaseSrcId(it.value(), newId);
            recordIds[it.value()] = newId;
        }
    }
}

void RestoreContactsThread::sendEntities(SyncRecordWriter& writer, LocalContactsDb& store,
    const QMap<unsigned long long, Changes>& changes, const QMap<unsigned long long, QString>& recordIds)
{
    const QList<unsigned long long> ids = changes.keys();
    for (int first = 0; first < ids.size(); first += kPerMessage) {
        checkCancel();
        PlistCFType records = PlistCFType::createCFDictionary();
        QMap<QString, unsigned long long> temporary;
        for (int i = first; i < std::min<int>(first + kPerMessage, ids.size()); ++i) {
            const QString contactId = recordIds.value(ids.at(i));
            const Changes& set = changes[ids.at(i)];
            for (auto it = set.cbegin(); it != set.cend(); ++it) {
                for (const pim::Entity& e : it.value()) {
                    const int before = records.dict_size();
                    addPlistDataFromEntity(records, contactId, it.key(), -static_cast<long long>(e.id), e);
                    if (e.srcId.isEmpty() && records.dict_size() > before)
                        temporary.insert(QStringLiteral("%1/%2/-%3")
                                             .arg(contactSyncProperty(it.key()))
                                             .arg(contactId)
                                             .arg(e.id),
                            e.id);
                }
            }
        }
        if (records.dict_size() == 0)
            continue;
        for (const auto& [sent, newId] : writer.send(records)) {
            const auto it = temporary.constFind(sent);
            if (it == temporary.constEnd())
                continue;
            qDebug("IOS Sync, ent:%s => %s", qUtf8Printable(it.key()), qUtf8Printable(newId));
            store.updateEntitySrcId(it.value(), newId);
        }
    }
}
