#include "messages/store/MsgAttachment.h"

#include "app/DataPaths.h"
#include "messages/store/MsgTempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

QString _MsgAttachment::thumbnail() const
{
    const QString name = g_pathHash(_path);
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
        const QImage small = image.height() > image.width()
            ? image.scaledToHeight(120, Qt::FastTransformation)
            : image.scaledToWidth(120, Qt::FastTransformation);
        small.save(thumb, format);
    }
    return thumb;
}

bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b)
{
    return a->rowid < b->rowid;
}
