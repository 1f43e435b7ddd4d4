#include "notes_media/ThumbnailCache.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

namespace
{
// The whole content of the entry of a picture that could not be decoded.
const QByteArray kUndecodable("undecodable\n");
} // namespace

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
    if (f.size() > 4 * 1024 * 1024)
        return Entry::Missing;
    const QByteArray bytes = f.readAll();
    if (bytes == kUndecodable)
        return Entry::Undecodable;
    QImage image;
    // An entry that does not read back (damaged, cut short, empty) is made again.
    if (!image.loadFromData(bytes, "JPEG"))
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
    write(item, kUndecodable);
}

void ThumbnailCache::write(const MBDBParser::_MBDBItem& item, const QByteArray& bytes) const
{
    const QString path = entryPath(item);
    if (path.isEmpty() || !QDir().mkpath(m_folder))
        return;
    // Written beside it and then renamed, without forcing it to disk: a cache entry lost or cut
    // short by a crash is simply made again.
    const QString part = path + QStringLiteral(".part");
    QFile f(part);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const bool written = f.write(bytes) == bytes.size() && f.flush();
    f.close();
    QFile::remove(path);
    if (!written || !QFile::rename(part, path))
        QFile::remove(part);
}
