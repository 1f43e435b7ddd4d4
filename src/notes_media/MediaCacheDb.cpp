#include "notes_media/MediaCacheDb.h"

#include "app/sqlite/Sqlite3RowCount.h"
#include "notes_media/BackupCacheFile.h"

#include <utility>

MediaCacheDb::MediaCacheDb(const BackupManifest* manifest, QDir dir, const _Place& place)
    : m_manifest(manifest)
    , m_dir(std::move(dir))
    , m_place(place)
{
}

MediaCacheDb::~MediaCacheDb()
{
    m_db.close();
}

void MediaCacheDb::openCheck()
{
    if (m_db.isOpen())
        return;
    const QString path = BackupCacheFile::pathThrow(m_manifest, m_dir, QString::fromLatin1(m_place.domain),
        QString::fromLatin1(m_place.relativePath), m_place.missingText);
    m_db.setForeign(true);
    m_db.openThrow(path, SQLITE_OPEN_READWRITE);
}

qint64 MediaCacheDb::total()
{
    openCheck();
    // Counted by the list's own reading: a file its page cannot read (a table without the row
    // numbers it lists by, a value larger than a phone keeps) has no count either.
    return sqlite3RowCountThrow(m_db, m_place.listSql);
}
