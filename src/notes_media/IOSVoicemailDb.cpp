#include "notes_media/IOSVoicemailDb.h"

#include "notes_media/BackupCacheFile.h"

#include <utility>

IOSVoicemailDb::IOSVoicemailDb(const BackupManifest* manifest, QDir dir)
    : m_manifest(manifest)
    , m_dir(std::move(dir))
{
}

IOSVoicemailDb::~IOSVoicemailDb()
{
    m_db.close();
}

void IOSVoicemailDb::openCheck()
{
    if (m_db.isOpen())
        return;
    const QString path = BackupCacheFile::pathThrow(m_manifest, m_dir, QStringLiteral("HomeDomain"),
        QStringLiteral("Library/Voicemail/voicemail.db"), "Cannot find voicemail.db.");
    m_db.openThrow(path, SQLITE_OPEN_READWRITE);
}

qint64 IOSVoicemailDb::total()
{
    openCheck();
    Sqlite3Cursor c = m_db.queryThrow("select count(*) from voicemail");
    return c.moveNext() ? c.getInt64(0) : 0;
}
