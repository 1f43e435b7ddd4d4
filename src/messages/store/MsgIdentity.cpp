#include "messages/store/MsgIdentity.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QUuid>
#include <QtEndian>

QString genChatIdentifier(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QString digits;
    qint32 n = 0;
    while (digits.size() < 18) {
        QCryptographicHash md5(QCryptographicHash::Md5);
        char le[4];
        qToLittleEndian<qint32>(n, le);
        md5.addData(QByteArrayView(le, 4));
        md5.addData(utf8);
        ++n;
        const QByteArray d = md5.result();
        quint32 x = 0;
        for (int i = 0; i < 4; ++i)
            x ^= qFromLittleEndian<quint32>(d.constData() + 4 * i);
        const qint32 sx = static_cast<qint32>(x);
        // The absolute value in 32-bit arithmetic: the most negative value keeps its sign.
        const qint64 abs = sx == INT32_MIN ? qint64(INT32_MIN) : (sx < 0 ? -qint64(sx) : qint64(sx));
        digits += QString::number(abs);
    }
    return QStringLiteral("chat") + digits.left(18);
}

QString genUUID()
{
    static const QRegularExpression notUuidChar(QStringLiteral("[^\\-A-Z0-9]"));
    QString s = QUuid::createUuid().toString().toUpper();
    s.remove(notUuidChar);
    return s;
}

QString hashUUID(const QByteArray& bytes)
{
    const QString h = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()).toUpper();
    return h.mid(0, 8) + '-' + h.mid(8, 4) + '-' + h.mid(12, 4) + '-' + h.mid(16, 4) + '-' + h.mid(20, 12);
}
