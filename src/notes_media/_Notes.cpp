#include "notes_media/_Notes.h"

#include <QCryptographicHash>

QString _Notes::toHash() const
{
    const QByteArray t = title.toUtf8();
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(QByteArray::number(t.size()) + ':');
    md5.addData(t);
    md5.addData(content.toUtf8());
    return QString::fromLatin1(md5.result().toHex());
}
