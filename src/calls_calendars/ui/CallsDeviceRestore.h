#pragma once

#include "calls_calendars/_CallHistory.h"

#include <QList>
#include <QSharedPointer>
#include <functional>
#include <memory>

class BackupManifest;
class ProgressForm;
class QThread;
class QWidget;
struct _IOSDevice;

// Restores calls to a connected device through a backup of it: the system part of the device is
// backed up, the calls merged into its call database, the manifest cut down to the system files and
// the backup restored. Message boxes and progress forms are parented to the page.
class CallsDeviceRestore
{
public:
    explicit CallsDeviceRestore(QWidget* page)
        : m_page(page)
    {
    }

    // The whole road, starting with the choice of device.
    void run(const QList<_CallHistory>& calls);
    // The road after the device was chosen; true when it ended with the success message.
    bool runOnDevice(const QSharedPointer<_IOSDevice>& device, const QList<_CallHistory>& calls);

private:
    bool runWorker(const QString& title, const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make);
    bool iCloudBackupIsOn(const QString& udid);
    // Merges the calls into the device backup; the number of calls, or -1.
    int merge(BackupManifest& manifest, const QList<_CallHistory>& calls);

    QWidget* m_page;
};
