#include "app/ui/shared/BackupReadForWrite.h"

#include "app/ui/BackupRecordsThread.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"

#include <QCoreApplication>

std::unique_ptr<BackupRecordsThread> BackupReadForWrite::read(QWidget* page,
    const QSharedPointer<BackupManifest>& backup, const std::function<void(BackupRecordsThread&)>& setUp)
{
    ProgressForm form(QCoreApplication::translate("MainWindow", "IDS_READING_BACKUP_%1")
                          .arg(QDir::toNativeSeparators(backup->dir.absolutePath())),
        page);
    form.setQuiet(true);
    auto thread = std::make_unique<BackupRecordsThread>(backup, &form);
    setUp(*thread);
    QObject::connect(thread.get(), &QThread::finished, &form, [&form] { form.succeed(QString()); });
    thread->start();
    const bool ended = form.exec() == 1;
    if (!ended)
        thread->abandon(); // its hold, if it comes, is given up where it was taken
    // A read held by a disk that does not answer keeps the window answering until it ends.
    WorkerEnd::waitFor(*thread, ended ? nullptr : form.cancelled.token(), page);
    if (!ended || thread->cancelled())
        return nullptr;
    if (!thread->error().isEmpty()) {
        Tips::plainError(thread->error());
        return nullptr;
    }
    return thread;
}

bool BackupReadForWrite::askPassword(QWidget* page, BackupManifest& backup, QString* password)
{
    PasscodeDlg dlg(&backup, page);
    if (dlg.exec() != 1)
        return false;
    if (password)
        *password = dlg.password;
    return true;
}

std::unique_ptr<BackupFolderLock> BackupReadForWrite::chosen(
    QWidget* page, const QSharedPointer<BackupManifest>& backup)
{
    if (backup->IsEncrypted && !askPassword(page, *backup, nullptr))
        return nullptr;
    const std::unique_ptr<BackupRecordsThread> thread
        = read(page, backup, [](BackupRecordsThread& t) { t.setMode(BackupFolderLock::Mode::Exclusive); });
    return thread ? thread->takeHold() : nullptr;
}

bool BackupReadForWrite::working(
    QWidget* page, const QSharedPointer<BackupManifest>& backup, QString& password)
{
    const QString remembered = password;
    std::unique_ptr<BackupRecordsThread> thread
        = read(page, backup, [&remembered](BackupRecordsThread& t) { t.setInfoFirst(remembered); });
    if (!thread)
        return false;
    // Only the password was wanted: the read's hold ends here, beside the window.
    std::unique_ptr<BackupFolderLock> hold = thread->takeHold();
    OffThread::release(hold);
    if (!thread->locked())
        return true;
    thread.reset();
    // The remembered password no longer unlocks it (or none was remembered): the user gives one.
    if (!askPassword(page, *backup, &password))
        return false;
    return read(page, backup, [](BackupRecordsThread&) {}) != nullptr;
}
