#pragma once

#include <QString>
#include <QStringList>

// Backups made by the project's generator (tools/gen/make_backup.py) for the shell's tests.
namespace SyntheticBackup
{

// Writes a backup into `folder` with the generator's options; true on success.
bool make(const QString& folder, const QStringList& options = {});
// An encrypted backup whose keybag needs little work, so a password is tried quickly.
bool makeEncrypted(const QString& folder, const QString& password);

} // namespace SyntheticBackup
