#pragma once

#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"

#include <QTextStream>
#include <memory>

// Shared steps of the backup commands: open a folder, unlock it with the password read from
// standard input when it is encrypted, and read its records.
namespace ProbeBackup
{
// Holds the backup folder until the process ends: shared for a command that reads it, exclusive
// for one that reads and then writes, so no write of another program runs in the middle.
void holdForRun(const QString& dir, BackupFolderLock::Mode mode);
// Throws the text naming the folder and the system's reason when the system does not let the user
// into path (a file's or a folder's): a command would otherwise find nothing there.
void requireEnterable(const QString& path);
// Holds the folder shared, then opens it. Throws std::runtime_error with a clear text ("wrong
// password", "not a backup", ...).
std::unique_ptr<BackupManifest> openThrow(const QString& dir, bool unlock, bool parse);
QString readPassword();
// For a command that is about to end the process: leaves the manifest's memory to the system
// instead of freeing it node by node. An encrypted backup's manifest is destroyed as usual, as it
// removes its decrypted copy of the records.
void releaseAtExit(std::unique_ptr<BackupManifest> manifest);
} // namespace ProbeBackup
