#pragma once

#include <QDir>
#include <QString>

// The decisions of the device backup and restore threads that need no widgets: whether an earlier
// backup stays as the base of an incremental one, and the texts of their failures.
class IOSMobileBackupRules
{
public:
    // True when the device folder holds a finished backup of the same iOS version: "Status.plist"
    // with "SnapshotState" "finished", "Manifest.plist" whose "Lockdown"/"ProductVersion" equals
    // productVersion, and "Manifest.mbdb" or "Manifest.db".
    static bool keepEarlierBackup(const QDir& deviceDir, const QString& productVersion);
    // The text of a failed backup: advice in place of a lost or refused connection, then the note.
    static QString backupFailureText(const QString& what, bool tutorialNote);
    // The text of a failed restore, with its note.
    static QString restoreFailureText(const QString& what, bool tutorialNote);
    // Whether a restore failure means the backup must be made again from nothing.
    static bool restoreNeedsFreshBackup(const QString& what);
    // Whether a device identifier can safely name a folder of the working folder: letters, digits
    // and dashes only, so "", ".", ".." or a path can never make a removal reach beyond the device.
    static bool isDeviceFolderName(const QString& udid);
};
