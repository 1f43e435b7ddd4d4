#pragma once

#include "backup/BackupManifest.h"

#include <QTextStream>
#include <memory>

// Shared steps of the backup commands: open a folder, unlock it with the password read from
// standard input when it is encrypted, and read its records.
namespace ProbeBackup
{
// Throws std::runtime_error with a clear text ("wrong password", "not a backup", ...).
std::unique_ptr<BackupManifest> openThrow(const QString& dir, bool unlock, bool parse);
QString readPassword();
} // namespace ProbeBackup
