#pragma once

#include "device/_IOSDevice.h"

#include <QDir>
#include <QSharedPointer>
#include <QThread>

class BackupManifest;
class ProgressForm;
class backup2tool;

// Restores the backup in backupDir/<udid> to the device with the default file hook, reporting to a
// progress dialog whose cancel stops the protocol host.
class IOSMobileRestoreThread : public QThread
{
    Q_OBJECT
public:
    IOSMobileRestoreThread(bool tutorialNote, QSharedPointer<_IOSDevice> device, const QDir& backupDir,
        bool sparseOptions, ProgressForm& form, QObject* parent = nullptr);
    ~IOSMobileRestoreThread() override;

    void setBackupPasscode(const QString& password);

    // The file of the device folder sent when the device asks for "Manifest.db"; set before start().
    QString manifestDbName;
    // Before the transfer, the run writes backup's manifest reduced to the records worth restoring
    // at manifestDbName in backup's folder; a failure of that ends it with its reason.
    void setReducedManifestOf(BackupManifest* backup) { reduceFrom = backup; }

public slots:
    void backupUpdate(double percent, QString status, QString text);

protected:
    void run() override;

private:
    bool tutorialNote;
    QSharedPointer<_IOSDevice> device;
    QDir backupDir;
    ProgressForm* form;
    backup2tool* tool;
    QString password;
    bool sparseOptions;
    bool restoreSystemFiles = true;
    BackupManifest* reduceFrom = nullptr;
};
