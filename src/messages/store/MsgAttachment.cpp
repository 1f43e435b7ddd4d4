#include "messages/store/MsgAttachment.h"

#include "app/DataPaths.h"
#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "app/sqlite/Sqlite3Cursor.h"
#include "messages/store/MsgTempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

QString _MsgAttachment::thumbnail() const
{
    const QString name = g_pathHash(_path);
    const QString thumb = QDir(msgPrivateTempDir()).absoluteFilePath(name + QStringLiteral(".thumb"));
    if (!_notAsWritten.isEmpty()) {
        // One kept from before may have been drawn from these bytes: it would outlive the mark.
        QFile::remove(thumb);
        return QString();
    }
    // One drawn before the file at _path was put there is of other bytes (a copy made again, or one
    // an earlier version's cache shared with another record's): it is drawn anew.
    const QFileInfo kept(thumb);
    if (kept.isFile() && kept.lastModified() >= QFileInfo(_path).metadataChangeTime())
        return thumb;
    // A picture a failing disk cut short is not drawn in part; a preview is kept only when whole.
    QFile file;
    QByteArray bytes;
    if (!RegularFile::openRead(file, _path, nullptr) || !RegularFile::readToEnd(file, &bytes, nullptr))
        return thumb;
    QImage image;
    const char* format = "JPEG";
    if (!image.loadFromData(bytes, "JPEG")) {
        format = "PNG";
        image.loadFromData(bytes, "PNG");
    }
    if (!image.isNull()) {
        const QImage small = image.height() > image.width()
            ? image.scaledToHeight(120, Qt::FastTransformation)
            : image.scaledToWidth(120, Qt::FastTransformation);
        const WrittenDisks::Unnoted cached;
        OutputFile out(thumb);
        out.setFollowLinks(false);
        if (out.open(QIODevice::WriteOnly) && small.save(&out, format))
            out.commit();
    }
    return thumb;
}

bool _MsgAttachment::plainText(QString* text, QString* why) const
{
    QFile file;
    if (_path.isEmpty() || !RegularFile::openRead(file, _path, nullptr))
        return false;
    QByteArray bytes;
    QString failure;
    if (!RegularFile::readToEnd(file, &bytes, &failure)) {
        *why = QStringLiteral("Cannot read %1. %2").arg(QDir::toNativeSeparators(_path), failure);
        return false;
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    *text = QString::fromUtf8(bytes);
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
