#include "messages/ui/MessageBackupExport.h"

#include "app/RunFolder.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/ui/ITunesCacheSMSThread.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/ui/IOS6RestoreMessagesThread.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

namespace
{

// Runs a worker the way every page does; true when it succeeded and was not cancelled.
bool runStep(QThread& thread, ProgressForm& form)
{
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    WorkerEnd::waitFor(thread, form.cancelled.token(), form.parentWidget());
    return result == 1 && !form.cancelled;
}

// Empty stand-ins for the write-ahead files of the backup's sms.db.
void replaceJournals(
    BackupManifest& backup, const QTemporaryDir& tmp, QList<IOSMergeWAFiles2iTunesBKThread::_Item>& items)
{
    for (const char* suffix : { "-wal", "-shm" }) {
        const QString rel = QStringLiteral("Library/SMS/sms.db") + QLatin1String(suffix);
        if (!backup.findNode(QStringLiteral("HomeDomain"), rel))
            continue;
        const QString empty = tmp.filePath(QStringLiteral("empty") + QLatin1String(suffix));
        QFile f(empty);
        f.open(QIODevice::WriteOnly);
        f.close();
        items.append({ QStringLiteral("HomeDomain"), empty, rel, true, true });
    }
}

} // namespace

int MessageBackupExport::run(BackupManifest& backup, const QList<_MsgMessage*>& messages,
    const FormFactory& makeForm, QObject* parent, NotAsWrittenAttachments* notAsWritten)
{
    std::unique_ptr<ProgressForm> cacheForm = makeForm();
    // A fresh copy takes the write's hold and settles a write an earlier run left unfinished
    // before the backup's sms.db is read.
    ITunesCacheSMSThread cache(backup, *cacheForm, parent);
    cache.setFresh(true);
    const bool cached = runStep(cache, *cacheForm);
    // Held to the end: no other program writes or reads the backup between this read and write.
    std::unique_ptr<BackupFolderLock> hold = cache.takeHold();
    const auto released = qScopeGuard([&hold] { OffThread::release(hold); });
    if (!cached)
        return -1;
    IOS6MessageDb db(cache.cacheDir(), _CountryInfo(), false);
    std::unique_ptr<ProgressForm> mergeForm = makeForm();
    IOS6RestoreMessagesThread merge(_CountryInfo(), messages, &db, *mergeForm, parent);
    if (!runStep(merge, *mergeForm))
        return -1;
    std::unique_ptr<QTemporaryDir> tmp;
    QList<IOSMergeWAFiles2iTunesBKThread::_Item> items = merge.items;
    OffThread::run([&] {
        db.close();
        tmp = std::make_unique<QTemporaryDir>(RunFolder::templateFor(QStringLiteral("qm-export")));
        replaceJournals(backup, *tmp, items);
    });
    std::unique_ptr<ProgressForm> writeForm = makeForm();
    IOSMergeWAFiles2iTunesBKThread write(backup, items, *writeForm, parent);
    // The merge went into the sms.db read at the start: the write replaces only that one.
    write.setExpected(cache.freshlyRead());
    const bool written = runStep(write, *writeForm);
    // The work copy has served once it is in the backup (or the backup is left as it was).
    OffThread::run([&] {
        QFile::remove(merge.workPath);
        tmp.reset();
    });
    if (!written)
        return -1;
    if (notAsWritten)
        *notAsWritten = merge.notAsWritten;
    return merge.restoredCount;
}

QString MessageBackupExport::notAsWrittenText(const NotAsWrittenAttachments& notAsWritten, int merged)
{
    return notAsWritten.text(
        QStringLiteral("%1 Messages were written into the backup, with those attachments as they are.")
            .arg(merged));
}
