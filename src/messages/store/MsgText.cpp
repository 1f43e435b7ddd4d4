#include "messages/store/MsgText.h"

#include "app/MacEpoch.h"
#include "app/ShownText.h"

namespace {
const char kAttaBodyHead[] =
    "040B73747265616D747970656481E803840140848484194E534D757461626C6541747472696275746564537472696E67008484"
    "124E5341747472696275746564537472696E67008484084E534F626A6563740085928484840F4E534D757461626C6553747269"
    "6E67018484084E53537472696E67019584012B03EFBFBC86840269490101928484840C4E5344696374696F6E61727900958401"
    "690292849898225F5F6B494D46696C655472616E73666572475549444174747269627574654E616D65869284989824";
const char kAttaBodyTail[] = "86928498981D5F5F6B494D4D657373616765506172744174747269627574654E616D6586928484"
                             "84084E534E756D626572008484074E5356616C7565009584012A849B9B00868686";

// Length of the longest run of whole, well-formed UTF-8 sequences at the start of p: where a
// truncated text run ends and the archive's own bytes begin.
qsizetype validUtf8Prefix(const char* p, qsizetype n)
{
    const auto* u = reinterpret_cast<const uchar*>(p);
    qsizetype i = 0;
    while (i < n) {
        const uchar c = u[i];
        int more = 0;
        uint min = 0;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1, min = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, min = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, min = 0x10000;
        else
            break;
        if (n - i <= more)
            break;
        uint cp = c & (0x3F >> more);
        int k = 1;
        for (; k <= more && (u[i + k] & 0xC0) == 0x80; ++k)
            cp = cp << 6 | (u[i + k] & 0x3F);
        if (k <= more || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            break;
        i += 1 + more;
    }
    return i;
}
} // namespace

QDateTime dtFromDate21(int date)
{
    // The sum wraps in unsigned 32-bit arithmetic, as the stored dates are 32-bit.
    const quint32 unixTime = quint32(date) + quint32(kMacEpochOffset);
    return QDateTime::fromSecsSinceEpoch(qint64(unixTime)).toLocalTime();
}

QByteArray msgAttaAttributeBody(const QString& guid)
{
    static const QByteArray head = QByteArray::fromHex(kAttaBodyHead);
    static const QByteArray tail = QByteArray::fromHex(kAttaBodyTail);
    // The length byte before the guid is fixed at 36; the callers pass 36-character guids.
    return head + guid.toUtf8() + tail;
}

QString emoji_replace_handler(void*, QString)
{
    return QStringLiteral("[EMOJI]");
}

QString msgCutLine(qsizetype maxBytes)
{
    return ShownText::cutLine(maxBytes);
}

QString msgShownText(const QString& text, qsizetype maxBytes)
{
    return ShownText::opened(text, maxBytes);
}

QString msgTextFromAttributedBody(const QByteArray& body)
{
    // typedstream: the first NSString object of the archive is the attributed string's text,
    // written as "NSString" class info, then 0x84 0x01 '+' and a length-prefixed UTF-8 run.
    if (!body.startsWith(QByteArray::fromHex("040B73747265616D7479706564")))
        return QString();
    const int cls = body.indexOf("NSString");
    if (cls < 0)
        return QString();
    const int marker = body.indexOf(QByteArray::fromHex("84012B"), cls + 8);
    if (marker < 0 || marker > cls + 8 + 8)
        return QString();
    int pos = marker + 3;
    if (pos >= body.size())
        return QString();
    const auto byteAt = [&](int i) { return quint8(body.at(i)); };
    qint64 len = 0;
    const quint8 tag = byteAt(pos++);
    if (tag == 0x81) {
        if (pos + 2 > body.size())
            return QString();
        len = byteAt(pos) | (byteAt(pos + 1) << 8);
        pos += 2;
    } else if (tag == 0x82) {
        if (pos + 4 > body.size())
            return QString();
        len = qint64(byteAt(pos)) | (qint64(byteAt(pos + 1)) << 8) | (qint64(byteAt(pos + 2)) << 16)
            | (qint64(byteAt(pos + 3)) << 24);
        pos += 4;
    } else if (tag < 0x80) {
        len = tag;
    } else {
        return QString();
    }
    if (len < 0)
        return QString();
    if (pos + len > body.size()) // a length running past the blob: take the text that is there
        len = validUtf8Prefix(body.constData() + pos, body.size() - pos);
    return QString::fromUtf8(body.constData() + pos, int(len));
}
