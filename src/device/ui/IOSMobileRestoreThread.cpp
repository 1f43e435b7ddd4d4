#include "device/ui/IOSMobileRestoreThread.h"

#include "app/DataPaths.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"
#include "device/IOSMobileBackupRules.h"
#include "device/backup2tool.h"

#include <exception>

IOSMobileRestoreThread::IOSMobileRestoreThread(bool tutorialNote, QSharedPointer<_IOSDevice> device,
    const QDir& backupDir, bool sparseOptions, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , tutorialNote(tutorialNote)
    , device(std::move(device))
    , backupDir(backupDir)
    , form(&form)
    , sparseOptions(sparseOptions)
{
    tool = new backup2tool(this->device ? this->device->udid : QString(), backupDir, nullptr, nullptr);
    // Connected on the dialog's thread, so that a cancel confirmed before the run starts still counts.
    connect(tool, &backup2tool::update, this, &IOSMobileRestoreThread::backupUpdate);
    connect(&form, &ProgressForm::userCancel, tool, &backup2tool::cancel);
}

IOSMobileRestoreThread::~IOSMobileRestoreThread()
{
    if (tool)
        tool->deleteLater();
}

void IOSMobileRestoreThread::setBackupPasscode(const QString& password)
{
    this->password = password;
}

void IOSMobileRestoreThread::backupUpdate(double percent, QString status, QString text)
{
    form->invokeUpdateProgress(status, int(percent), text);
}

void IOSMobileRestoreThread::run()
{
    form->invokeUpdateProgress(tr("Transferring data to Device..."), 0, QString());
    if (reduceFrom) {
        try {
            reduceFrom->saveManifestDbAsThrow(
                true, {}, reduceFrom->dir.absoluteFilePath(manifestDbName), nullptr);
        } catch (const std::exception& e) {
            form->invokeErrorOccurred(QString::fromUtf8(e.what()));
            return;
        }
    }
    try {
        _backup2tool_req req(backup2tool_restore);
        req.sparseOptions = sparseOptions;
        req.restoreSystemFiles = restoreSystemFiles;
        req.shouldReboot = true;
        req.dontCopyBackup = true;
        req.preserveSettings = true;
        req.removeItemsNotRestored = false;
        req.password = password;
        tool->manifestDbName = manifestDbName;
        if (form->cancelled)
            tool->cancel();
        tool->runThrow(req);
        form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        const QString what = QString::fromUtf8(e.what());
        if (IOSMobileBackupRules::restoreNeedsFreshBackup(what) && device
            && IOSMobileBackupRules::isDeviceFolderName(device->udid))
            g_delDirCascade(backupDir.absoluteFilePath(device->udid));
        form->invokeErrorOccurred(IOSMobileBackupRules::restoreFailureText(what, tutorialNote), true);
    }
}
