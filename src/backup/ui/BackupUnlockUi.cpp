#include "backup/ui/BackupUnlockUi.h"

#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"

#include <QApplication>
#include <QThread>
#include <memory>

namespace BackupUnlockUi
{

void install()
{
    BackupManifest::setUnlockRunner([](BackupManifest& manifest, const std::function<void()>& work) {
        // Off the user-interface thread there is no dialog to show: run in place.
        if (!qApp || QThread::currentThread() != qApp->thread()) {
            work();
            return;
        }
        ProgressForm form(QCoreApplication::translate("BackupUnlockUi", "IDS_CHECKING_BACKUP_PASSWORD"),
            QApplication::activeWindow());
        // A keybag may ask for a minute of work and a large manifest seconds of decryption: the
        // user may stop them; they then end within milliseconds and setPasscode throws
        // BackupKeyBag::Cancelled. A wait for the backup's folder shows in the dialog.
        QObject::connect(&form, &ProgressForm::userCancel, &form, [&manifest] { manifest.cancelUnlock(); });
        std::unique_ptr<QThread> thread(QThread::create([&]() {
            const ProgressForm::ReportingScope reporting(&form);
            work();
            form.invokeSucceed(QString());
        }));
        thread->start();
        form.exec();
        WorkerEnd::waitFor(*thread, form.cancelled.token(), form.parentWidget());
    });
}

} // namespace BackupUnlockUi
