#include "calls_calendars/ui/CallsMergeRoad.h"

#include "app/DataPaths.h"
#include "app/MadeFolders.h"
#include "app/ui/shared/OffThread.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/ui/IOSMergeWAFiles2iTunesBKThread.h"
#include "backup/ui/LoadBkThread.h"
#include "calls_calendars/ui/RestoreCallsThread.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTemporaryDir>

QList<const BackupManifest::_FileNode*> CallsMergeRoad::callFiles(const BackupManifest& m)
{
    return { m.callHistoryStoreNode ? m.callHistoryStoreNode : m.callHistoryNode, m.addressBookNode };
}

QString CallsMergeRoad::makePrivateWorkDir()
{
    QString why;
    const QString base = g_dataSaveDir(&why).absoluteFilePath(QStringLiteral("tmp"));
    if (!why.isEmpty() || !MadeFolders::makePath(base, &why))
        throw std::runtime_error(why.toStdString());
    QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return base;
}

int CallsMergeRoad::run(
    BackupManifest& manifest, const QList<_CallHistory>& calls, const RunWorker& runWorker)
{
    // Taken on the first worker before anything is read, and held to the end: no other program
    // writes or reads the backup between this read and write.
    std::unique_ptr<BackupFolderLock> hold;
    const auto released = qScopeGuard([&hold] { OffThread::release(hold); });
    // Decrypted copies stay inside the program's own folder, readable by the owner only, and go
    // with the road.
    std::unique_ptr<QTemporaryDir> work;
    const auto dropWork = qScopeGuard([&work] { OffThread::run([&work] { work.reset(); }); });
    const QList<const BackupManifest::_FileNode*> files = callFiles(manifest);
    // What the call files held as they were read: the write replaces only those.
    auto read = std::make_shared<QHash<QString, ContentDigest::Sum>>();
    if (!runWorker(QString(),
            [&](ProgressForm& form) {
                auto thread = std::make_unique<LoadBkThread>(&manifest, files, QDir(), &form);
                LoadBkThread* t = thread.get();
                t->setKeepRead(true);
                t->setFirstStep([&manifest, &hold, &work, t] {
                    hold
                        = std::make_unique<BackupFolderLock>(manifest.dir, BackupFolderLock::Mode::Exclusive);
                    // A write an earlier run left unfinished is settled before the backup's files are read.
                    manifest.settleEarlierWriteThrow();
                    work = std::make_unique<QTemporaryDir>(
                        makePrivateWorkDir() + QStringLiteral("/calls-XXXXXX"));
                    if (!work->isValid())
                        throw std::runtime_error(work->errorString().toStdString());
                    t->cacheDir = QDir(work->path());
                });
                QObject::connect(
                    t, &QThread::finished, t, [t, read] { *read = t->read(); }, Qt::DirectConnection);
                return thread;
            })
        || !work)
        return -1;
    const QDir cache(work->path());

    auto merged = std::make_shared<QPair<QList<IOSMergeWAFiles2iTunesBKThread::_Item>, int>>();
    const bool encrypted = manifest.IsEncrypted;
    if (!runWorker(QCoreApplication::translate("CallHistoryMainForm", "IDS_RESTORING_CALLS_TO_IOS_DEVICE"),
            [&](ProgressForm& form) {
                auto thread = std::make_unique<RestoreCallsThread>(calls, cache, form, nullptr, encrypted);
                RestoreCallsThread* t = thread.get();
                QObject::connect(
                    t, &QThread::finished, t,
                    [t, merged] {
                        *merged = { t->items, t->doneCount };
                    },
                    Qt::DirectConnection);
                return thread;
            }))
        return -1;

    if (!runWorker(QString(), [&](ProgressForm& form) {
            auto write = std::make_unique<IOSMergeWAFiles2iTunesBKThread>(manifest, merged->first, form);
            write->setExpected(*read);
            return write;
        }))
        return -1;
    return merged->second;
}
