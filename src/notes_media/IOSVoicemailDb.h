#pragma once

#include "app/sqlite/Sqlite3DB.h"

#include <QDir>

class BackupManifest;

// The voicemail.db copy of a backup's cache folder, as far as the tree of data sources needs it: its
// count. Opens on first use.
class IOSVoicemailDb
{
public:
    // A null backup (counting from the cache folder alone) finds the copy by its well-known name.
    IOSVoicemailDb(const BackupManifest* manifest, QDir dir);
    ~IOSVoicemailDb();

    void openCheck();
    qint64 total();

private:
    const BackupManifest* m_manifest;
    QDir m_dir;
    Sqlite3DB m_db;
};
