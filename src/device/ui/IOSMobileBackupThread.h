#pragma once

#include "device/Backup2ToolHook.h"
#include "device/_IOSDevice.h"

#include <QDir>
#include <QSharedPointer>
#include <QStringList>
#include <QThread>

class ProgressForm;
class backup2tool;

// Backs a device up into the working folder with the selective-backup hook, reporting to a progress
// dialog whose cancel stops the protocol host.
class IOSMobileBackupThread : public QThread
{
    Q_OBJECT
public:
    IOSMobileBackupThread(bool tutorialNote, QSharedPointer<_IOSDevice> device, bool keepAll,
        const QString& name, ProgressForm& form, QObject* parent = nullptr);
    ~IOSMobileBackupThread() override;

    // The working folder; the backup lies in its sub-folder named by the device's UDID.
    const QDir& root() const { return rootDir; }

    // App bundle identifiers whose containers are stored in any case; fill before start().
    QStringList wantedApps;

public slots:
    void backupUpdate(double percent, QString status, QString text);

protected:
    void run() override;

private:
    bool tutorialNote;
    QSharedPointer<_IOSDevice> device;
    ProgressForm* form;
    QDir rootDir;
    backup2tool* tool;
    QSharedPointer<Backup2ToolHook> hook;
};
