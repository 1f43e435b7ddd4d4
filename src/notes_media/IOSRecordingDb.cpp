#include "notes_media/IOSRecordingDb.h"

#include "notes_media/BackupCacheFile.h"

#include <utility>

IOSRecordingDb::IOSRecordingDb(const BackupManifest* manifest, QDir dir)
    : m_manifest(manifest)
    , m_dir(std::move(dir))
{
}

IOSRecordingDb::~IOSRecordingDb()
{
    m_db.close();
}

void IOSRecordingDb::openCheck()
{
    if (m_db.isOpen())
        return;
    const QString path = BackupCacheFile::pathThrow(m_manifest, m_dir, QStringLiteral("MediaDomain"),
        QStringLiteral("Media/Recordings/Recordings.db"), "Cannot find Recordings.db.");
    m_db.openThrow(path, SQLITE_OPEN_READWRITE);
}

qint64 IOSRecordingDb::total()
{
    openCheck();
    Sqlite3Cursor c = m_db.queryThrow("select count(*) from ZRECORDING");
    return c.moveNext() ? c.getInt64(0) : 0;
}
