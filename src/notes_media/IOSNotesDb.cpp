#include "notes_media/IOSNotesDb.h"

#include "app/MacEpoch.h"
#include "app/sqlite/Sqlite3RowCount.h"
#include "notes_media/BackupCacheFile.h"

#include <utility>

namespace
{

// Core Data keeps times as seconds since 2001-01-01 UTC.
QDateTime fromCoreDataTime(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64((seconds + double(kMacEpochOffset)) * 1000.0), Qt::UTC);
}

const char* const kNotesSql
    = "select n.Z_PK as pk, n.ZCREATIONDATE as created, n.ZMODIFICATIONDATE as modified, "
      "n.ZTITLE as title, n.ZSUMMARY as summary, n.ZGUID as guid, b.ZCONTENT as content "
      "from ZNOTE as n left join ZNOTEBODY as b on b.Z_PK = n.ZBODY "
      "order by n.ZMODIFICATIONDATE desc, n.Z_PK asc";

} // namespace

IOSNotesDb::IOSNotesDb(const BackupManifest* manifest, QDir dir)
    : m_manifest(manifest)
    , m_dir(std::move(dir))
{
}

IOSNotesDb::~IOSNotesDb()
{
    m_db.close();
}

void IOSNotesDb::openCheck()
{
    if (m_db.isOpen())
        return;
    const QString path = BackupCacheFile::pathThrow(m_manifest, m_dir, QStringLiteral("HomeDomain"),
        QStringLiteral("Library/Notes/notes.sqlite"), "Cannot find notes.sqlite.");
    m_db.setForeign(true);
    m_db.openThrow(path, SQLITE_OPEN_READWRITE);
}

QList<_Notes> IOSNotesDb::notes()
{
    openCheck();
    QList<_Notes> list;
    Sqlite3Cursor c = m_db.queryThrow(kNotesSql);
    while (c.moveNext()) {
        _Notes note;
        note.srcId = QString::number(c.getInt64("pk"));
        note.createDate = fromCoreDataTime(c.getDouble("created"));
        note.modifiedDate = fromCoreDataTime(c.getDouble("modified"));
        note.title = c.getText("title");
        note.summary = c.getText("summary");
        note.content = c.getText("content");
        note.devId = c.getText("guid");
        list.append(note);
    }
    return list;
}

qint64 IOSNotesDb::total()
{
    openCheck();
    // Counted by the page's own reading: a note it cannot read (a body larger than a phone keeps)
    // leaves the notes uncounted, as it leaves the page without them.
    return sqlite3RowCountThrow(m_db, kNotesSql);
}
