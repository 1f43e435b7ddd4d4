#pragma once

#include "notes_media/MediaCacheDb.h"

#include <QDateTime>

// The Recordings.db copy of a backup's cache folder: its count for the tree of data sources and its
// recordings for the recordings page. Opens on first use.
class IOSRecordingDb : public MediaCacheDb
{
public:
    // One row of ZRECORDING.
    struct _Recording {
        qint64 pk = 0;
        QString customLabel; // the label the user gave; may be empty
        QString devicePath; // ZPATH, the file's path on the device
        QDateTime date; // UTC
        double duration = 0; // seconds
        // The custom label, else the audio file's name.
        QString label() const;
        // Where the backup keeps the audio (MediaDomain): Media/Recordings/ and the file name of the
        // device path; empty when the row names no usable file.
        QString audioPath() const;
    };

    // A null backup (counting from the cache folder alone) finds the copy by its well-known name.
    IOSRecordingDb(const BackupManifest* manifest, QDir dir);

    // Every recording, newest first; failures throw.
    QList<_Recording> recordings();
};
