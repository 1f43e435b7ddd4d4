#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "notes_media/IBookmarkDb.h"

#include <QDir>

class BackupManifest;

// The Safari bookmarks of a backup, read from the copy of "Library/Safari/Bookmarks.db" in the
// backup's cache folder. Opens on first use; never writes the database.
class IOSBookmarkDb : public IBookmarkDb
{
public:
    // A null backup (counting from the cache folder alone) finds the copy by its well-known name.
    IOSBookmarkDb(const BackupManifest* backup, QDir cacheFolder);
    ~IOSBookmarkDb() override;

    void openCheck();
    QList<_Bookmark*> bookmarks() override;
    // Visible rows of type 0; differs from what bookmarks() shows by design.
    qint64 total();

private:
    const BackupManifest* m_backup;
    QDir m_cacheFolder;
    Sqlite3DB m_db;
};
