#pragma once

#include "notes_media/MediaCacheDb.h"

#include <QDateTime>

// The voicemail.db copy of a backup's cache folder: its count for the tree of data sources and its
// messages for the voicemail page. Opens on first use.
class IOSVoicemailDb : public MediaCacheDb
{
public:
    // One message of the table voicemail.
    struct _Voicemail {
        qint64 rowId = 0;
        QString sender; // the caller's number or name; empty when unknown
        QDateTime date; // UTC
        qint64 duration = 0; // seconds
        bool listened = false;
        bool trashed = false;
        // Where the backup keeps the message's audio (HomeDomain).
        QString audioPath() const;
    };

    // A null backup (counting from the cache folder alone) finds the copy by its well-known name.
    IOSVoicemailDb(const BackupManifest* manifest, QDir dir);

    // Every message, newest first; failures throw.
    QList<_Voicemail> voicemails();
};
