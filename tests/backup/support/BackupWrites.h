#pragma once

#include "backup/BackupManifest.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Writes into generated backups as the suites of the writer and of the settling of its writes
// make them, and the checks of what they leave.
namespace BackupWrites
{
// A file of content under name in a fresh temporary folder, as the source of a write.
QString sourceFile(const QByteArray& content, const QString& name = "source.bin");
// Reads the backup's Manifest.plist, unlocks it with password when one is given, reads its records.
void open(BackupManifest& m, const QString& password);
// The files a write leaves in dir while under way: temporaries, old copies kept aside, its record.
QStringList leftovers(const QString& dir);
// Every file the write touched is in the backup with the written content, and its record
// gives that content's size; nothing of the write is left over.
void checkWritten(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items);
// The files of items as a reader of the backup gets them, through a cache of copies as the
// program keeps one; a null array for a file the backup lacks, the error for one it cannot read.
QHash<QString, QByteArray> readBack(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items);
// In a child process: opens the backup and writes items, then ends the process: 0 when the write
// succeeded, 2 when it failed, 3 when the password does not unlock the backup.
[[noreturn]] void writeAndExit(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items);
// A message restore's write: a database replaced, an attachment and a file of a new domain added.
QList<BackupManifest::WriteRequest> restoreLike();
// The temporary a write under way has made for target (named after that write), else the name that
// writes of earlier versions shared.
QString tempOf(const QString& target);
// Where the stored file of r lies in the backup in dir.
QString storedPath(const QString& dir, const BackupManifest::WriteRequest& r);
// The folder of r's stored file moved to another disk (or to another folder of the backup) and
// a link left in its place.
bool moveFolderAway(const QString& dir, const BackupManifest::WriteRequest& r, bool inside = false);
// Files of items that read as before the write or as written (or are missing from both); step
// names the change a kill came before.
void checkBeforeOrWritten(const QHash<QString, QByteArray>& now, const QHash<QString, QByteArray>& before,
    const QList<BackupManifest::WriteRequest>& items, int step);
} // namespace BackupWrites
