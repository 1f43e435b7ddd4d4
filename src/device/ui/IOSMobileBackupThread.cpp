#include "device/ui/IOSMobileBackupThread.h"

#include "app/DataPaths.h"
#include "app/ui/shared/ProgressForm.h"
#include "device/FakeBackup2ToolHook.h"
#include "device/IOSMobileBackupRules.h"
#include "device/backup2tool.h"
#include "device/iosbackup.h"
#include "device/mobiledevice_afc.h"

#include <exception>

IOSMobileBackupThread::IOSMobileBackupThread(bool tutorialNote, QSharedPointer<_IOSDevice> device,
    bool keepAll, const QString& name, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , tutorialNote(tutorialNote)
    , device(std::move(device))
    , form(&form)
{
    rootDir = iosbackup_temp_dir(name);
    auto selective = QSharedPointer<FakeBackup2ToolHook>::create();
    selective->keepAll = keepAll;
    hook = selective;
    tool = new backup2tool(this->device ? this->device->udid : QString(), rootDir, hook, nullptr);
    // Connected here, on the dialog's thread, so that a cancel confirmed before the run starts is
    // not lost: the host keeps it and stops at its first check.
    connect(tool, &backup2tool::update, this, &IOSMobileBackupThread::backupUpdate);
    connect(&form, &ProgressForm::userCancel, tool, &backup2tool::cancel);
}

IOSMobileBackupThread::~IOSMobileBackupThread()
{
    if (tool)
        tool->deleteLater();
}

void IOSMobileBackupThread::backupUpdate(double percent, QString status, QString text)
{
    form->invokeUpdateProgress(status, int(percent), text);
}

void IOSMobileBackupThread::run()
{
    form->invokeUpdateProgress(QStringLiteral("Loading data from Device..."), 0, QString());
    const QString udid = device ? device->udid : QString();
    if (!IOSMobileBackupRules::isDeviceFolderName(udid)) {
        // The identifier names the backup folder; one that is not a plain name could reach outside it.
        form->invokeErrorOccurred(QStringLiteral("The device's identifier \"%1\" is not valid.").arg(udid));
        return;
    }

    // The list of apps of an earlier restore would make the device restore them again.
    {
        mobiledevice_afc afc(udid);
        if (afc.startService())
            afc.del(QStringLiteral("/iTunesRestore/RestoreApplications.plist"));
        afc.closeService();
    }

    auto* selective = static_cast<FakeBackup2ToolHook*>(hook.data());
    for (const QString& app : wantedApps)
        selective->wantedApps.insert(app);

    const QString dev = rootDir.absoluteFilePath(udid);
    if (QDir(dev).exists() && !IOSMobileBackupRules::keepEarlierBackup(QDir(dev), device->productVersion))
        g_delDirCascade(QDir(dev).absolutePath());

    try {
        if (form->cancelled)
            tool->cancel();
        tool->runThrow(_backup2tool_req(backup2tool_backup));
        form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        // A broken backup must never be the base of the next one.
        g_delDirCascade(QDir(dev).absolutePath());
        form->invokeErrorOccurred(
            IOSMobileBackupRules::backupFailureText(QString::fromUtf8(e.what()), tutorialNote), true);
    }
}
