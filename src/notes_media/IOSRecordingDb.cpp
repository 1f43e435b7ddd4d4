#include "notes_media/IOSRecordingDb.h"

#include "app/MacEpoch.h"
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
    openCheck();
    QList<_Recording> list;
    // Core Data keeps ZDATE as seconds since 2001-01-01 UTC.
    Sqlite3Cursor c = m_db.queryThrow("select Z_PK, ZCUSTOMLABEL, ZPATH, ZDATE, ZDURATION "
                                      "from ZRECORDING order by ZDATE desc, Z_PK desc");
    while (c.moveNext()) {
        _Recording r;
        r.pk = c.getInt64(0);
        r.customLabel = c.getText(1);
        r.devicePath = c.getText(2);
        r.date = QDateTime::fromMSecsSinceEpoch(
            qint64((c.getDouble(3) + double(kMacEpochOffset)) * 1000.0), Qt::UTC);
        r.duration = c.getDouble(4);
        list.append(r);
    }
    return list;
}
