#pragma once

#include "backup/ContentDigest.h"
#include "backup/write/BackupWriteNames.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

class BackupWriteFolder;

// The record of a write into a backup folder as its file holds it. It starts with "version 5" and
// "write <id>" (16 hexadecimal digits that name the write's temporaries, see
// BackupWriteNames::tempOf), then "manifest <replaced> <staged> <name>", "folder <name>" and
// "file <staged> <old> <name>" lines, each content a ContentDigest::Sum's text or "-", and <old>
// "none" for a file that did not exist, and ends with "end <content of all before that line>", so
// that a record cut short or changed in any byte is told. Each version has one list of the fields
// its lines give before the name: version 4 has no write line (its temporaries share one name);
// version 3 has no end line; version 2 has no <old> either; version 1 has no version line, and
// inode numbers of the temporaries for contents. A record not well-formed in every line (of an
// unknown version, empty, cut short, damaged or planted) is refused as a whole, nothing of it read.
class BackupWriteRecord
{
public:
    // One file of the write: where it goes, the content of its staged temporary (unknown while it
    // is not yet staged) and what the target held when the write began.
    struct Entry {
        QString target;
        ContentDigest::Sum staged;
        quint64 tempId = 0; // in a record of an earlier version: the inode of the staged temporary
        ContentDigest::Sum old; // unknown when the write leaves the file as it is, or in older records
        bool existed = true; // false when there was no file
        quint64 placed = 0; // never recorded: the inode of the temporary this write puts at target
    };
    // The version this build writes.
    static constexpr int kVersion = 5;

    // The record's name in the backup folder.
    static QString fileName();
    // The most bytes the record of a write into dir can take: a line costs at most 256 bytes, and
    // each file the write puts in place has a record of at least 32 bytes in the manifest it stages
    // (so at most 8 bytes of record per byte of manifest), beyond the room of a write of some
    // thousands of files new to a small backup.
    static qint64 largestSize(const QDir& dir);

    // A new write's id, unique to it.
    static QByteArray newId();
    // The text of a record of this build's version.
    static QByteArray text(const QDir& dir, const QByteArray& id, const QString& manifestName,
        const ContentDigest::Sum& replaced, const ContentDigest::Sum& staged, const QStringList& folders,
        const QList<Entry>& files);
    // The record text gives, its names resolved in dir: one outside it is logged and left out.
    static BackupWriteRecord read(const QDir& dir, const QByteArray& text);
    // The text of the record at path in the folder, read only as a regular file and only up to the size a
    // write into dir can give it; false, with a line in the log, when it cannot be read or is larger.
    static bool readText(const BackupWriteFolder& folder, const QString& path, QByteArray& text);
    // Whether dir holds the record of a write (one under way, or one stopped before it ended), or
    // the beginning of one.
    static bool pending(const QDir& dir);
    // The beginnings of records in dir: their temporaries, of any write.
    static QStringList beginnings(const QDir& dir);

    // Puts this record of a write into the folder (manifest and the files' targets are paths in dir), on
    // the disk before anything it describes happens: the first time where no record is, later over
    // its own only. Another write's record there is another program's change (BackupWriteNames::changedText).
    // On failure nothing of it is left.
    void writeThrow(const BackupWriteFolder& folder, bool again = false) const;
    // Whether the record in the folder is this one's write's (of this build's version: by its id).
    bool inPlace(const BackupWriteFolder& folder) const;
    // The temporary this record's write stages for target (with the shared name of older versions).
    QString tempOf(const QString& target) const { return BackupWriteNames::tempOf(target, id); }

    // Whether this build knows the record's version (else why tells the version the record gives).
    bool known() const { return version > 0; }
    // Whether the record was read; else why tells why it is refused, and nothing of it is read.
    bool readable() const { return why.isEmpty(); }

    int version = kVersion;
    QByteArray id; // of the write; empty in records of earlier versions
    QString why; // why the record is refused as a whole; empty when it was read
    bool unreachable = false; // a file the write may have changed is out of reach
    QString manifest; // empty when the record names none inside the folder
    ContentDigest::Sum manifestReplaced;
    ContentDigest::Sum manifestStaged;
    quint64 manifestId = 0; // version 1: the inode of the staged manifest
    QList<Entry> files;
    QStringList folders;
};
