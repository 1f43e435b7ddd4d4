#include "notes_media/IOSRecordingDb.h"

#include "app/MacEpoch.h"
#include "app/StoredTime.h"

#include <cmath>
#include <utility>

namespace
{

// Core Data keeps ZDATE as seconds since 2001-01-01 UTC, with a fraction kept to the millisecond.
QDateTime recordingDate(const Sqlite3Cursor& c, int column)
{
    const QDateTime date = StoredTime::date(c, column, kMacEpochOffset);
    const double stored = c.getDouble(column);
    return date.isValid() ? date.addMSecs(qint64((stored - std::floor(stored)) * 1000.0)) : date;
}

IOSRecordingDb::_Recording readRecording(const Sqlite3Cursor& c)
{
    IOSRecordingDb::_Recording r;
    r.pk = c.getInt64(0);
    r.customLabel = c.getText(1);
    r.devicePath = c.getText(2);
    r.date = recordingDate(c, 3);
    r.duration = c.getDouble(4);
    return r;
}

} // namespace

IOSRecordingDb::IOSRecordingDb(const BackupManifest* manifest, QDir dir)
    : MediaCacheDb(manifest, std::move(dir),
        { "MediaDomain", "Media/Recordings/Recordings.db", "Cannot find Recordings.db.",
            "select Z_PK, ZCUSTOMLABEL, ZPATH, ZDATE, ZDURATION from ZRECORDING not indexed order by ZDATE "
            "collate binary desc, Z_PK collate binary desc" })
{
}

QString IOSRecordingDb::_Recording::label() const
{
    if (!customLabel.trimmed().isEmpty())
        return customLabel;
    const QString path = audioPath();
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString IOSRecordingDb::_Recording::audioPath() const
{
    const QString name = devicePath.mid(devicePath.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QString();
    return QStringLiteral("Media/Recordings/") + name;
}

QList<IOSRecordingDb::_Recording> IOSRecordingDb::recordings()
{
    return readRows(readRecording);
}
