#include "backup/ui/BackupWaitUi.h"

#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupFolderLock.h"

#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTimer>

namespace BackupWaitUi
{

namespace
{

    QString waitText(BackupFolderLock::Mode mode, const QString& folder)
    {
        // A read waits only for a write; a write waits for reads and writes alike.
        const char* key = mode == BackupFolderLock::Mode::Shared ? "IDS_WAITING_FOR_BACKUP_WRITE_%1"
                                                                 : "IDS_WAITING_FOR_BACKUP_IN_USE_%1";
        return QCoreApplication::translate("BackupWaitUi", key).arg(QDir::toNativeSeparators(folder));
    }

} // namespace

void install()
{
    BackupFolderLock::setWaitRunner(
        [](BackupFolderLock::Mode mode, const QString& folder, const std::function<bool()>& tryOnce) {
            // Off the user-interface thread there is no dialog to show: the wait goes on.
            if (!qApp || QThread::currentThread() != qApp->thread()) {
                while (!tryOnce())
                    QThread::msleep(10);
                return true;
            }
            ProgressForm form(waitText(mode, folder), QApplication::activeWindow());
            bool held = false;
            QTimer poll;
            poll.setInterval(20);
            QObject::connect(&poll, &QTimer::timeout, &form, [&] {
                if (held || !tryOnce())
                    return;
                held = true;
                poll.stop();
                form.invokeSucceed(QString());
            });
            poll.start();
            form.exec();
            return held;
        });
}

} // namespace BackupWaitUi
