#pragma once

#include "backup/BackupManifest.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// What the backup suites read back to check: files, stored files copied out, errors.
namespace BackupReads
{
// The bytes of the file at path; empty when it cannot be read.
QByteArray readAll(const QString& path);
// The stored file of node as copyFile writes it (into a fresh temporary folder).
QByteArray extract(const BackupManifest& m, const BackupManifest::_FileNode* node);
// The text of what f throws; empty when it throws nothing.
QString errorOf(const std::function<void()>& f);
// Loads m without a password: its Manifest.plist when there is one, then its records. The error;
// empty when it loads.
QString loadError(BackupManifest& m);
// The records SQLite's own scan of the Files table of the Manifest.db at path finds, each once (by
// fileID, by rowid without one), as "domain/path", and the table's count(*) (-1 when it fails); the
// scan's error code when it fails.
int scanManifest(const QString& path, QStringList* records, qint64* counted);
} // namespace BackupReads
