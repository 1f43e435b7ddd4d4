#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "notes_media/INotesDb.h"

#include <QDir>

class BackupManifest;

// The notes of a backup, read from the copy of "Library/Notes/notes.sqlite" (tables ZNOTE and
// ZNOTEBODY) in the backup's cache folder. Opens on first use.
class IOSNotesDb : public INotesDb
{
public:
    // A null backup (counting from the cache folder alone) finds the copy by its well-known name.
    IOSNotesDb(const BackupManifest* manifest, QDir dir);
    ~IOSNotesDb() override;

    void openCheck();
    QList<_Notes> notes() override;
    qint64 total();

private:
    const BackupManifest* m_manifest;
    QDir m_dir;
    Sqlite3DB m_db;
};
