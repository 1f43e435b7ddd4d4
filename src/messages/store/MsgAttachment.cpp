#include "messages/store/MsgAttachment.h"

#include "messages/store/MsgTempDir.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>

QString _MsgAttachment::thumbnail() const
{
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(_path.toUtf8(), QCryptographicHash::Md5).toHex());
    const QString thumb = QDir(msgPrivateTempDir()).absoluteFilePath(name + QStringLiteral(".thumb"));
    if (QFileInfo(thumb).isFile())
        return thumb;
    QImage image;
    const char* format = "JPEG";
    if (!image.load(_path, "JPEG")) {
        format = "PNG";
        image.load(_path, "PNG");
    }
    if (!image.isNull()) {
        const QImage small = image.height() > image.width() ? image.scaledToHeight(120, Qt::FastTransformation)
                                                            : image.scaledToWidth(120, Qt::FastTransformation);
        small.save(thumb, format);
    }
    return thumb;
}

bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b)
{
    return a->rowid < b->rowid;
}
