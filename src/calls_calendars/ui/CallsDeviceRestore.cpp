#include "calls_calendars/ui/CallsDeviceRestore.h"

#include "app/ui/shared/BackupReadForWrite.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "calls_calendars/ui/CallsMergeRoad.h"
#include "device/IOSDeviceMonitor.h"
#include "device/_IOSDevice.h"
#include "device/mobiledevice.h"
#include "device/ui/IOSMobileBackupThread.h"
#include "device/ui/IOSMobileRestoreThread.h"

#include <QCoreApplication>

namespace
{

QString tr(const char* text)
{
    return QCoreApplication::translate("CallHistoryMainForm", text);
}

} // namespace

void CallsDeviceRestore::run(const QList<_CallHistory>& calls)
{
    DataSourceSelForm picker(m_page);
    picker.exec();
    const QSharedPointer<_IOSDevice> device = IOSDeviceMonitor::getInstance()->devices.value(picker.udid);
    if (!device)
        return;
    runOnDevice(device, calls);
}

bool CallsDeviceRestore::runWorker(
    const QString& title, const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make)
{
    ProgressForm form(title, m_page);
    std::unique_ptr<QThread> thread = make(form);
    thread->start();
    const bool ok = form.exec() == 1 && !form.cancelled;
    WorkerEnd::waitFor(*thread, form.cancelled.token(), m_page);
    return ok;
}

bool CallsDeviceRestore::iCloudBackupIsOn(const QString& udid)
{
    const PlistCFType info = mobiledevice_info(udid, QStringLiteral("com.apple.mobile.backup"), QString());
    return info.isCFDictionary() && info.get(QStringLiteral("CloudBackupEnabled")).CFNumberBool(false);
}

int CallsDeviceRestore::merge(BackupManifest& manifest, const QList<_CallHistory>& calls)
{
    try {
        return CallsMergeRoad::run(
            manifest, calls, [this](const QString& title, const CallsMergeRoad::MakeWorker& make) {
                return runWorker(title, make);
            });
    } catch (const BackupFolderLock::Cancelled&) {
        return -1;
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
        return -1;
    }
}

bool CallsDeviceRestore::runOnDevice(
    const QSharedPointer<_IOSDevice>& device, const QList<_CallHistory>& calls)
{
    if (iCloudBackupIsOn(device->udid)) {
        Tips::warning(
            QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on your "
                           "iPhone to try again.<br/><br/><img src=\":/res/close_icloudbk.jpg\"/>"));
        return false;
    }
    Tips::info(tr("IDS_TIPS_BEFORE_RESTORE_CALLS"));
    QDir root;
    if (!runWorker(QString(), [&](ProgressForm& form) {
            auto thread
                = std::make_unique<IOSMobileBackupThread>(true, device, true, QStringLiteral("sys"), form);
            root = thread->root();
            return thread;
        }))
        return false;
    const auto manifest = QSharedPointer<BackupManifest>::create(root.absoluteFilePath(device->udid));
    if (!BackupReadForWrite::working(m_page, manifest, device->backupPassword))
        return false;
    const int n = merge(*manifest, calls);
    if (n < 0)
        return false;
    if (!runWorker(QString(), [&](ProgressForm& form) {
            auto thread = std::make_unique<IOSMobileRestoreThread>(true, device, root, true, form);
            thread->manifestDbName = QStringLiteral("Manifest-sys.db");
            thread->setReducedManifestOf(manifest.data());
            if (!device->backupPassword.isEmpty())
                thread->setBackupPasscode(device->backupPassword);
            return thread;
        }))
        return false;
    Tips::info(tr("IDS_SUC_RESTORE_%1_CALLS").arg(n));
    return true;
}
