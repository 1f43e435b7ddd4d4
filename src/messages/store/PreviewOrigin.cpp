#include "messages/store/PreviewOrigin.h"

#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "backup/ContentDigest.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace
{
// The head and the tail a digest covers: a picture's header (its EXIF data, with the time it was
// taken) and its data's start, and its data's end.
constexpr qint64 kSample = 16 * 1024;
const QByteArray kTag("preview-of 1");

// The inode of the regular file at path, not following a link; 0 when there is none.
quint64 inodeAt(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_ino : 0;
}

bool readAt(QFile& file, qint64 at, qint64 size, ContentDigest& digest)
{
    if (!file.seek(at))
        return false;
    const QByteArray bytes = file.read(size);
    digest.add(bytes);
    return bytes.size() == size;
}
} // namespace

PreviewOrigin PreviewOrigin::of(QFile& file, QString* why)
{
    PreviewOrigin o;
    struct stat st;
    if (::fstat(file.handle(), &st) != 0) {
        *why = QString::fromLocal8Bit(strerror(errno));
        return o;
    }
    ContentDigest digest;
    const qint64 size = st.st_size;
    const qint64 head = qMin(size, kSample), tail = qMin(size - head, kSample);
    if (!readAt(file, 0, head, digest) || !readAt(file, size - tail, tail, digest)) {
        *why = file.error() != QFileDevice::NoError ? file.errorString()
                                                    : QStringLiteral("The file is shorter than its size.");
        return o;
    }
    o.m_device = st.st_dev;
    o.m_inode = st.st_ino;
    o.m_size = size;
    o.m_digest = digest.sum().digest.toHex();
    return o;
}

PreviewOrigin PreviewOrigin::readFrom(const QString& path)
{
    PreviewOrigin o;
    QFile file;
    QByteArray bytes;
    if (!RegularFile::openRead(file, path, nullptr, false)
        || !RegularFile::readUpTo(file, 512, &bytes, nullptr))
        return o;
    const QList<QByteArray> fields = bytes.trimmed().split(' ');
    if (fields.size() != 8 || fields[0] + ' ' + fields[1] != kTag)
        return o;
    bool ok[5];
    o.m_device = fields[2].toULongLong(&ok[0]);
    o.m_inode = fields[3].toULongLong(&ok[1]);
    o.m_size = fields[4].toLongLong(&ok[2]);
    o.m_digest = fields[5];
    o.m_drawn = fields[6] == "picture" ? Drawn::Picture
        : fields[6] == "none"          ? Drawn::NoPicture
                                       : Drawn::Nothing;
    o.m_previewInode = fields[7].toULongLong(&ok[3]);
    ok[4] = o.m_drawn != Drawn::Nothing && o.m_size >= 0;
    if (!(ok[0] && ok[1] && ok[2] && ok[3] && ok[4]))
        o.m_size = -1;
    return o;
}

bool PreviewOrigin::holdsFor(const PreviewOrigin& now, const QString& preview) const
{
    if (!isValid() || !now.isValid() || m_size != now.m_size || m_digest != now.m_digest)
        return false;
    if (m_drawn == Drawn::Picture)
        return m_previewInode != 0 && inodeAt(preview) == m_previewInode;
    return m_drawn == Drawn::NoPicture && m_device == now.m_device && m_inode == now.m_inode
        && inodeAt(preview) == 0;
}

PreviewOrigin PreviewOrigin::drawn(Drawn what, const QString& preview) const
{
    PreviewOrigin o = *this;
    o.m_drawn = what;
    o.m_previewInode = what == Drawn::Picture ? inodeAt(preview) : 0;
    return o;
}

QByteArray PreviewOrigin::text() const
{
    return kTag + ' ' + QByteArray::number(m_device) + ' ' + QByteArray::number(m_inode) + ' '
        + QByteArray::number(m_size) + ' ' + m_digest + ' ' + (m_drawn == Drawn::Picture ? "picture" : "none")
        + ' ' + QByteArray::number(m_previewInode) + '\n';
}

bool PreviewOrigin::writeTo(const QString& path) const
{
    const WrittenDisks::Unnoted cached;
    OutputFile out(path);
    out.setFollowLinks(false);
    const QByteArray bytes = text();
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}
