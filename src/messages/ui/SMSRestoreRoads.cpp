#include "messages/ui/SMSRestoreRoads.h"

#include "app/CountText.h"
#include "app/ui/shared/BackupReadForWrite.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "device/IOSDeviceMonitor.h"
#include "device/mobiledevice.h"
#include "device/ui/IOSMobileBackupThread.h"
#include "device/ui/IOSMobileRestoreThread.h"
#include "messages/ui/MessageBackupExport.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QSharedPointer>

namespace
{

const char* const kContext = "SMSMainForm";

QString tr(const char* text)
{
    return QCoreApplication::translate(kContext, text);
}

bool runStep(QThread& thread, ProgressForm& form)
{
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    WorkerEnd::waitFor(thread, form.cancelled.token(), form.parentWidget());
    return result == 1 && !form.cancelled;
}

MessageBackupExport::FormFactory formsFor(QWidget* page)
{
    return [page] { return std::make_unique<ProgressForm>(QString(), page); };
}

// The device the user picks, or null.
QSharedPointer<_IOSDevice> chooseDevice(QWidget* page)
{
    DataSourceSelForm sel(page);
    sel.exec();
    return IOSDeviceMonitor::getInstance()->devices.value(sel.udid);
}

// The checks before anything is sent: cloud backup off, a question for devices other than phones,
// and the note about the phone-finding service. False ends the restore.
bool deviceChecks(const _IOSDevice& device)
{
    const PlistCFType info
        = mobiledevice_info(device.udid, QStringLiteral("com.apple.mobile.backup"), QString());
    const PlistCFType cloud
        = info.isCFDictionary() ? info.get(QStringLiteral("CloudBackupEnabled")) : PlistCFType();
    if (cloud.isCFBoolean() && cloud.CFNumberBool(false)) {
        Tips::warning(
            QString("%1<br/><br/>")
                .arg(tr("Failed to transfer data to device. Please turn off iCloud backup on your iPhone "
                        "to try again."))
            + QStringLiteral("<img src=\":/res/close_icloudbk.jpg\"/>"));
        return false;
    }
    if (!device.productType.startsWith(QLatin1String("iPhone"), Qt::CaseInsensitive)
        && !Tips::question(tr("You can recover iMessage only to an iPad/iPod. Want to continue?")))
        return false;
    Tips::info(tr("Notes:\"Find My iPhone\" must be disabled on iPhone. Check <a href=\"%1\">detail</a>.")
                   .arg(QStringLiteral(QM_SERVICE_HOST "/help/find-my-iphone")));
    return true;
}

// The last word of a restore: its success, or the error that names the attachments it wrote as they
// are although their copies are not what the phone wrote.
void tellOutcome(const QString& failure, const QString& success)
{
    if (failure.isEmpty())
        Tips::info(success);
    else
        Tips::error(failure);
}

bool restoreBackupToDevice(
    QWidget* page, QSharedPointer<_IOSDevice> device, const QDir& root, BackupManifest& backup)
{
    ProgressForm form(QString(), page);
    IOSMobileRestoreThread restore(true, device, root, true, form, page);
    restore.manifestDbName = QStringLiteral("Manifest-sys.db");
    restore.setReducedManifestOf(&backup);
    if (!device->backupPassword.isEmpty())
        restore.setBackupPasscode(device->backupPassword);
    return runStep(restore, form);
}

} // namespace

void SMSRestoreRoads::restoreSMS(QWidget* page, const QList<_MsgMessage*>& messages)
{
    QSharedPointer<_IOSDevice> device = chooseDevice(page);
    if (!device || !deviceChecks(*device))
        return;
    ProgressForm backupForm(QString(), page);
    IOSMobileBackupThread deviceBackup(true, device, true, QStringLiteral("sys"), backupForm, page);
    if (!runStep(deviceBackup, backupForm))
        return;
    const auto backup
        = QSharedPointer<BackupManifest>::create(deviceBackup.root().absoluteFilePath(device->udid));
    if (!BackupReadForWrite::working(page, backup, device->backupPassword))
        return;
    NotAsWrittenAttachments damaged;
    const int merged = MessageBackupExport::run(*backup, messages, formsFor(page), page, &damaged);
    if (merged < 0 || !restoreBackupToDevice(page, device, deviceBackup.root(), *backup))
        return;
    tellOutcome(
        damaged.text(CountText::of(merged,
            tr("1 Message was restored to the device, with those attachments as they are. Now please "
               "disconnect your iPhone from computer."),
            tr("%1 Messages were restored to the device, with those attachments as they are. Now please "
               "disconnect your iPhone from computer."))),
        tr("Successfully recovered %1 messages to iPhone. Now please disconnect your iPhone from computer.")
            .arg(merged));
}

void SMSRestoreRoads::export2iTunes(QWidget* page, const QList<_MsgMessage*>& messages)
{
    LoadItunesBackupDlg choose(page);
    if (choose.exec() != 1 || !choose.manifest)
        return;
    QSharedPointer<BackupManifest> backup = choose.manifest;
    // Held from the reading to the write: no other program changes the backup in between.
    std::unique_ptr<BackupFolderLock> hold = BackupReadForWrite::chosen(page, backup);
    const auto released = qScopeGuard([&hold] { OffThread::release(hold); });
    if (!hold)
        return;
    NotAsWrittenAttachments damaged;
    const int merged = MessageBackupExport::run(*backup, messages, formsFor(page), page, &damaged);
    if (merged >= 0)
        tellOutcome(MessageBackupExport::notAsWrittenText(damaged, merged),
            tr("Successfully exported %1 SMS.").arg(merged));
}
