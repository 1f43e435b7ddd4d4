#pragma once

#include <QString>
#include <QtGlobal>

class BackupManifest;

// The reading of the file records of a Manifest.db (its Files rows) into a manifest's tree.
// Reading threads, one per core, read and decode rowid ranges into nodes (the first through the
// manifest's own connection, which the check of the table opened), and the calling thread
// links them in rowid order, so that the tree is the same whatever the number of threads. A table
// whose rows are not all in their ranges (damaged pages, pages out of place) is read as SQLite's
// own scan finds it, each record once; one that yields fewer records than it counts is refused.
class ManifestDbReader
{
public:
    explicit ManifestDbReader(BackupManifest& manifest);

    // Reads the records of the Manifest.db at path (the backup's own, or the decrypted or private
    // copy of it) into the manifest's tree. Throws std::runtime_error naming the backup's own
    // Manifest.db when they cannot be read.
    void readThrow(const QString& path);
    // The error of a reading of the Manifest.db at path (as readThrow takes it) that said text: the
    // system's reason when path does not read whole, as a failing disk is no damage; else text,
    // naming the backup's own Manifest.db for path.
    static QString errorText(const BackupManifest& manifest, const QString& path, const QString& text);

private:
    void readRowsThrow(const QString& path);
    // Reads the Files rows of minRow..maxRow into the tree; false when they are not the table's
    // rows (fewer than rows, out of order, unreadable). With rows < 0 reads the whole table.
    bool linkRowsThrow(const QString& path, qint64 minRow, qint64 maxRow, qint64 rows);

    BackupManifest& m_manifest;
};
