#pragma once

#include "backup/BackupManifest.h"

#include <QStringList>
#include <memory>

// Shared steps of the media commands: the backup opened, unlocked with --password (or the line
// read from standard input) and parsed, and the camera file list of a kind.
namespace ProbeMedia
{
// Takes "--password P" out of args. Throws std::runtime_error ("wrong password", ...).
std::unique_ptr<BackupManifest> openBackupThrow(
    const QString& dir, const QString& password, bool hasPassword);
// Splits args into positional arguments and the --password value.
QStringList positional(const QStringList& args, QString* password, bool* hasPassword);
// The backup's photo list for "photos", its video list for "videos"; false for any other kind.
bool cameraFiles(
    const BackupManifest& m, const QString& kind, QList<const BackupManifest::_FileNode*>* files);
// Extracts the camera files of kind ("photos" or "videos") of the backup into dir as the page
// does; prints {"total","extracted"}. The export-media command calls it for these two kinds.
int exportCameraFiles(const QString& kind, const QString& backup, const QString& dir, const QString& password,
    bool hasPassword, QTextStream& out, QTextStream& err);
} // namespace ProbeMedia
