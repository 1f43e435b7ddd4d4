#include "contacts/export/QVCardParser.h"

#include "contacts/export/CardParser.h"

#include <QStringDecoder>
#include <memory>

namespace
{
struct ReaderState {
    QList<QVCardParser::Card>* cards = nullptr;
    QVCardParser::Card* card = nullptr;
    QVCardParser::_Property* property = nullptr;
    int properties = 0;
};

void propHandler(void* userData, const char* name, const char** params)
{
    auto* st = static_cast<ReaderState*>(userData);
    if (qstrcmp(name, "BEGIN") == 0) {
        st->cards->append(QVCardParser::Card());
        st->card = &st->cards->last();
        st->property = nullptr;
        return;
    }
    if (qstrcmp(name, "END") == 0) {
        st->card = nullptr;
        st->property = nullptr;
        return;
    }
    if (!st->card || st->properties >= QVCardParser::kMaxProperties) {
        st->property = nullptr;
        return;
    }
    ++st->properties;
    st->card->append(QVCardParser::_Property());
    st->property = &st->card->last();
    st->property->name = QString::fromLatin1(name);
    for (const char** p = params; p[0] || p[1]; p += 2)
        st->property->params.insert(
            QString::fromLatin1(p[0]), p[1] ? QString::fromLatin1(p[1]) : QString(""));
}

void dataHandler(void* userData, const char* data, int len)
{
    auto* st = static_cast<ReaderState*>(userData);
    if (len != 0 && st->property)
        st->property->value = QByteArray(data, len);
}

struct ParserFree {
    void operator()(CARD_Parser* p) const { CARD_ParserFree(p); }
};
} // namespace

QList<QVCardParser::Card> QVCardParser::parse(const QByteArray& data)
{
    QList<Card> cards;
    if (data.size() > kMaxInput)
        return cards;
    std::unique_ptr<CARD_Parser, ParserFree> parser(CARD_ParserCreate());
    if (!parser)
        return cards;
    ReaderState st;
    st.cards = &cards;
    CARD_SetUserData(parser.get(), &st);
    CARD_SetPropHandler(parser.get(), propHandler);
    CARD_SetDataHandler(parser.get(), dataHandler);
    // Fed in pieces, so that reading stops soon after the property limit.
    constexpr int kPiece = 64 * 1024;
    for (qsizetype at = 0; at < data.size() && st.properties < kMaxProperties; at += kPiece) {
        const int n = int(qMin<qsizetype>(kPiece, data.size() - at));
        if (!CARD_Parse(parser.get(), data.constData() + at, n, 0))
            return cards;
    }
    CARD_Parse(parser.get(), nullptr, 0, 1);
    return cards;
}

QString QVCardParser::_Property::toString() const
{
    const auto it = params.constFind(QStringLiteral("CHARSET"));
    if (it == params.cend())
        return QString::fromLocal8Bit(value);
    QStringDecoder decoder(it.value().toLatin1().constData());
    if (!decoder.isValid())
        return QString::fromLocal8Bit(value);
    return decoder.decode(value);
}

QStringList QVCardParser::_Property::values() const
{
    const QString text = toString();
    QStringList fields;
    QString field;
    bool escaped = false;
    for (const QChar c : text) {
        if (escaped) {
            field += c;
            escaped = false;
        } else if (c == QLatin1Char('\\')) {
            escaped = true;
        } else if (c == QLatin1Char(';')) {
            fields.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty())
        fields.append(field);
    return fields;
}

QByteArray QVCardParser::vcard2Bytes(const QList<_Property>& props)
{
    QByteArray out("BEGIN:VCARD\r\n");
    for (const _Property& p : props) {
        out += p.name.toLatin1();
        for (auto it = p.params.cbegin(); it != p.params.cend(); ++it)
            out += ';' + it.key().toLatin1() + '=' + it.value().toLatin1();
        out += ':';
        out += p.value;
        out += "\r\n";
    }
    out += "END:VCARD\r\n";
    return out;
}

QByteArray QVCardParser::encodeQuoted(const QByteArray& bytes, int width)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    int count = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '=' || c < 33 || c > 126) {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 0xF];
            count += 3;
        } else {
            out += ch;
            count += 1;
        }
        if (width != 0 && count >= width - 3) {
            out += "=\r\n ";
            count = 0;
        }
    }
    return out;
}

QByteArray QVCardParser::encodeBase64(const QByteArray& bytes, int width)
{
    const QByteArray b64 = bytes.toBase64();
    if (width < 1)
        return b64;
    QByteArray out;
    out.reserve(b64.size() + b64.size() / width * 3 + 3);
    for (qsizetype at = 0; at < b64.size(); at += width) {
        if (at > 0)
            out += "\r\n ";
        out += b64.mid(at, width);
    }
    return out;
}
