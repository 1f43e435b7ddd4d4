#include "messages/store/MsgAttachment.h"

#include "app/DataPaths.h"
#include "app/OutputFile.h"
#include "app/PictureDecoder.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "app/sqlite/Sqlite3Cursor.h"
#include "messages/store/MsgTempDir.h"
#include "messages/store/MsgText.h"
#include "messages/store/PreviewOrigin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace
{
// The longer side of a preview.
constexpr int kThumbSide = 120;

// Keeps image at path, drawn kThumbSide on its longer side: a small picture is drawn up to it.
bool saveThumbnail(QImage image, const QString& path)
{
    if (image.width() < kThumbSide && image.height() < kThumbSide)
        image = image.scaled(kThumbSide, kThumbSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    const WrittenDisks::Unnoted cached;
    OutputFile out(path);
    out.setFollowLinks(false);
    // A picture without transparency is kept small, as a JPEG.
    return out.open(QIODevice::WriteOnly) && image.save(&out, image.hasAlphaChannel() ? "PNG" : "JPEG")
        && out.commit();
}

// Takes back a preview and what it was drawn from, of a copy that no longer stands at its path.
void forgetPreview(const QString& thumb, const QString& origin)
{
    QFile::remove(origin);
    QFile::remove(thumb);
}

// bytes cut to at most size bytes, never inside the UTF-8 sequence of a character.
QByteArray utf8Prefix(const QByteArray& bytes, qsizetype size)
{
    qsizetype end = qMin(size, bytes.size());
    // A continuation byte just past the cut: step back to the lead byte of its character.
    while (end > 0 && end < bytes.size() && end > size - 4 && (uchar(bytes[end]) & 0xC0) == 0x80)
        --end;
    return bytes.left(end);
}

QString unreadText(const QString& path, const QString& why)
{
    return QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(path), why);
}
} // namespace

QString _MsgAttachment::thumbnail(QString* why) const
{
    const QString base = QDir(msgPrivateTempDir()).absoluteFilePath(g_pathHash(_path));
    const QString thumb = base + QStringLiteral(".thumb"), origin = base + QStringLiteral(".of");
    QFile file;
    // None from a copy that is not what the phone wrote, nor from one that is not there: one kept
    // from before would show another picture than the copy's.
    if (!_notAsWritten.isEmpty() || !RegularFile::openRead(file, _path, nullptr)) {
        forgetPreview(thumb, origin);
        return _notAsWritten.isEmpty() ? thumb : QString();
    }
    QString failure;
    const PreviewOrigin copy = PreviewOrigin::of(file, &failure);
    if (copy.isValid() && PreviewOrigin::readFrom(origin).holdsFor(copy, thumb))
        return thumb;
    const PictureDecoder::Result made = failure.isEmpty()
        ? PictureDecoder::decodeFile(file, QSize(kThumbSide, kThumbSide))
        : PictureDecoder::Result();
    if (made.outcome == PictureDecoder::Outcome::ReadFailed)
        failure = made.why;
    // A picture a failing disk cut short is not drawn in part; a preview is kept only when whole.
    if (!failure.isEmpty() && why)
        *why = unreadText(_path, failure);
    forgetPreview(thumb, origin);
    if (!failure.isEmpty() || !made.settled())
        return thumb; // tried again at the next look
    if (made.outcome != PictureDecoder::Outcome::Picture)
        copy.drawn(PreviewOrigin::Drawn::NoPicture, thumb).writeTo(origin);
    else if (saveThumbnail(made.image, thumb)
        && !copy.drawn(PreviewOrigin::Drawn::Picture, thumb).writeTo(origin))
        QFile::remove(thumb);
    return thumb;
}

bool _MsgAttachment::plainText(QString* text, QString* why) const
{
    QFile file;
    if (_path.isEmpty() || !RegularFile::openRead(file, _path, nullptr))
        return false;
    QByteArray bytes;
    QString failure;
    // One byte past the bound tells whether the text goes on.
    if (!RegularFile::readUpTo(file, kMaxPlainText + 1, &bytes, &failure)) {
        *why = unreadText(_path, failure);
        return false;
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    *text = QString::fromUtf8(utf8Prefix(bytes, kMaxPlainText));
    if (bytes.size() > kMaxPlainText)
        *text += msgCutLine(kMaxPlainText);
    return true;
}

bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b)
{
    return a->rowid < b->rowid;
}

const QStringList& msgAttachmentColumns()
{
    static const QStringList names { "rowid", "guid", "created_date", "start_date", "filename", "uti",
        "mime_type", "transfer_state", "is_outgoing", "user_info", "transfer_name", "total_bytes" };
    return names;
}

void fillMsgAttachment(_MsgAttachment& a, const Sqlite3Cursor& c)
{
    a.rowid = c.getInt64("rowid");
    a.guid = c.getText("guid");
    a.created_date = c.getInt("created_date");
    a.start_date = c.getInt("start_date");
    a.filename = c.getText("filename");
    a.uti = c.getText("uti");
    a.mime_type = c.getText("mime_type");
    a.transfer_state = c.getInt("transfer_state");
    a.is_outgoing = c.getInt("is_outgoing");
    a.user_info = c.getBlob("user_info");
    a.transfer_name = c.getText("transfer_name");
    a.total_bytes = c.getInt64("total_bytes");
}
