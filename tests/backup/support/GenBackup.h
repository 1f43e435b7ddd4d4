#pragma once

#include <QString>
#include <QStringList>

// Runs the project's synthetic-backup generator (tools/gen/make_backup.py) into a fresh
// temporary folder and returns the backup folder; empty (with a warning) when it fails.
namespace GenBackup
{
QString make(const QStringList& args,
    const QString& folderName = QStringLiteral("0123456789abcdef0123456789abcdef01234567"));
// SHA-1 of every file under dir by relative path, to prove a folder did not change.
QString folderDigest(const QString& dir);
} // namespace GenBackup
