#pragma once

#include <QSharedPointer>
#include <QString>
#include <functional>
#include <memory>

class BackupFolderLock;
class BackupManifest;
class BackupRecordsThread;
class QWidget;

// The reads a restore makes of the backup it writes into before the write, each on a worker
// (BackupRecordsThread) under a dialog saying the backup is being read, while the window answers:
// its Manifest.plist, the unlock with a remembered password and its records. Failures are told in
// an error box; a cancel says nothing.
class BackupReadForWrite
{
public:
    // A backup chosen on this computer: its password asked when it is encrypted, then the write's
    // exclusive hold taken and its records read. The hold, now this thread's; null when the road
    // ends.
    static std::unique_ptr<BackupFolderLock> chosen(
        QWidget* page, const QSharedPointer<BackupManifest>& backup);
    // A device's fresh backup in the program's own folder: its Manifest.plist read and, when it is
    // encrypted, password tried; the password asked when that does not unlock it (password is then
    // the one given); then its records read. False when the road ends.
    static bool working(QWidget* page, const QSharedPointer<BackupManifest>& backup, QString& password);

private:
    // Runs the read set up by setUp until it ends; the ended thread, or null when the user
    // cancelled it or it failed (told).
    static std::unique_ptr<BackupRecordsThread> read(QWidget* page,
        const QSharedPointer<BackupManifest>& backup, const std::function<void(BackupRecordsThread&)>& setUp);
    // Asks for the password of the encrypted backup; false when the user gives up.
    static bool askPassword(QWidget* page, BackupManifest& backup, QString* password);
};
