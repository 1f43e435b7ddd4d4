#include "notes_media/IOSVoicemailDb.h"

#include <utility>

namespace
{

// Dates are seconds since 1970; bit 2 of flags marks a message that was listened to; a message in
// the trash has its trash date set.
IOSVoicemailDb::_Voicemail readVoicemail(const Sqlite3Cursor& c)
{
    IOSVoicemailDb::_Voicemail v;
    v.rowId = c.getInt64(0);
    v.sender = c.getText(1);
    v.date = QDateTime::fromSecsSinceEpoch(c.getInt64(2), Qt::UTC);
    v.duration = c.getInt64(3);
    v.listened = (c.getInt64(4) & 2) != 0;
    v.trashed = c.getInt64(5) > 0;
    return v;
}

} // namespace

IOSVoicemailDb::IOSVoicemailDb(const BackupManifest* manifest, QDir dir)
    : MediaCacheDb(manifest, std::move(dir),
        { "HomeDomain", "Library/Voicemail/voicemail.db", "Cannot find voicemail.db.",
            "select ROWID, sender, date, duration, flags, trashed_date from voicemail not indexed order by "
            "date collate binary desc, ROWID collate binary desc" })
{
}

QString IOSVoicemailDb::_Voicemail::audioPath() const
{
    return QStringLiteral("Library/Voicemail/%1.amr").arg(rowId);
}

QList<IOSVoicemailDb::_Voicemail> IOSVoicemailDb::voicemails()
{
    return readRows(readVoicemail);
}
