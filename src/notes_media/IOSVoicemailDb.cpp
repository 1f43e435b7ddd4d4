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

QString IOSVoicemailDb::_Voicemail::audioPath() const
{
    return QStringLiteral("Library/Voicemail/%1.amr").arg(rowId);
}

QList<IOSVoicemailDb::_Voicemail> IOSVoicemailDb::voicemails()
{
    openCheck();
    QList<_Voicemail> list;
    // Dates are seconds since 1970; bit 2 of flags marks a message that was listened to; a message
    // in the trash has its trash date set.
    Sqlite3Cursor c = m_db.queryThrow("select ROWID, sender, date, duration, flags, trashed_date "
                                      "from voicemail order by date desc, ROWID desc");
    while (c.moveNext()) {
        _Voicemail v;
        v.rowId = c.getInt64(0);
        v.sender = c.getText(1);
        v.date = QDateTime::fromSecsSinceEpoch(c.getInt64(2), Qt::UTC);
        v.duration = c.getInt64(3);
        v.listened = (c.getInt64(4) & 2) != 0;
        v.trashed = c.getInt64(5) > 0;
        list.append(v);
    }
    return list;
}
