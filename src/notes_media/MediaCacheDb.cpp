#include "notes_media/MediaCacheDb.h"

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
    // Counted through the list's own query: a file its page cannot read (a table without the row
    // numbers it lists by) has no count either.
    Sqlite3Cursor c
        = m_db.queryThrow(QStringLiteral("select count(*) from (%1)").arg(QLatin1String(m_place.listSql)));
    return c.moveNext() ? c.getInt64(0) : 0;
}
