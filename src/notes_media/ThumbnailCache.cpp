#include "notes_media/ThumbnailCache.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>

ThumbnailCache::ThumbnailCache(const QDir& dataDir)
{
    if (!dataDir.path().isEmpty() && dataDir.path() != QLatin1String("."))
        m_folder = dataDir.absoluteFilePath(QStringLiteral("thumbnails"));
}

QString ThumbnailCache::entryPath(const MBDBParser::_MBDBItem& item) const
{
    if (m_folder.isEmpty())
        return QString();
    return QStringLiteral("%1/%2-%3-%4.jpg")
        .arg(m_folder, item.backupFileName())
        .arg(item.size)
        .arg(item.mtime);
}

ThumbnailCache::Entry ThumbnailCache::lookup(const MBDBParser::_MBDBItem& item, QImage* picture) const
{
    const QString path = entryPath(item);
    if (path.isEmpty())
        return Entry::Missing;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Entry::Missing;
    if (f.size() == 0)
        return Entry::Undecodable;
    QImage image;
    // An entry that does not read back (damaged, cut short) is made again.
    if (f.size() > 4 * 1024 * 1024 || !image.loadFromData(f.readAll(), "JPEG"))
        return Entry::Missing;
    *picture = image;
    return Entry::Picture;
}

void ThumbnailCache::storePicture(const MBDBParser::_MBDBItem& item, const QImage& picture) const
{
    // JPEG has no transparency: transparent parts are put on white, as the grid shows them.
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, picture);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (flat.save(&buffer, "JPEG", 85))
        write(item, bytes);
}

void ThumbnailCache::storeUndecodable(const MBDBParser::_MBDBItem& item) const
{
    write(item, QByteArray());
}

void ThumbnailCache::write(const MBDBParser::_MBDBItem& item, const QByteArray& bytes) const
{
    const QString path = entryPath(item);
    if (path.isEmpty() || !QDir().mkpath(m_folder))
        return;
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size())
        f.commit();
}
