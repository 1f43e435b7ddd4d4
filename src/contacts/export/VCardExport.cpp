#include "contacts/export/VCardExport.h"

#include "contacts/export/DataKeys.h"

#include <QRegularExpression>

namespace
{
using Property = QVCardParser::_Property;
using Params = QMap<QString, QString>;

const QString kCharset = QStringLiteral("CHARSET");
const QString kUtf8 = QStringLiteral("UTF-8");
const QString kType = QStringLiteral("TYPE");

Property prop(const char* name, Params params, QByteArray value)
{
    Property p;
    p.name = QLatin1String(name);
    p.params = std::move(params);
    p.value = std::move(value);
    return p;
}

// One line of text for values that may not break: line breaks removed.
QByteArray oneLine(const QString& text)
{
    QString s = text;
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    return s.toLocal8Bit();
}

QString phoneType(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("home,voice");
    case 2:
        return QStringLiteral("cell");
    case 3:
        return QStringLiteral("work,voice");
    case 4:
        return QStringLiteral("work,fax");
    case 5:
        return QStringLiteral("home,fax");
    case 6:
        return QStringLiteral("pager");
    case 9:
        return QStringLiteral("car");
    case 11:
        return QStringLiteral("isdn");
    case 13:
        return QStringLiteral("fax");
    default:
        return QString();
    }
}

QString wordOf(int code, std::initializer_list<const char*> words)
{
    if (code < 1 || code > int(words.size()))
        return QString();
    return QLatin1String(*(words.begin() + (code - 1)));
}

QString imType(int code)
{
    return wordOf(code,
        { "aim", "msn", "yahoo", "skype", "qq", "googletalk", "icq", "jabber", "netmetting", "gadugadu",
            "facebook" });
}

QString relType(int code)
{
    return wordOf(code,
        { "assistant", "brother", "child", "dompartner", "father", "friend", "manager", "mother", "parent",
            "partner", "ref", "relative", "sister", "spouse" });
}

QString urlType(int code)
{
    const QString w = wordOf(code, { "homepage", "blog", "profile", "home", "work", "ftp" });
    return w.isEmpty() ? QStringLiteral("other") : w;
}

Params utf8Params(const QString& type = QString())
{
    Params p { { kCharset, kUtf8 } };
    if (!type.isEmpty())
        p.insert(kType, type);
    return p;
}

QByteArray esc(const pim::Entity& e, int key, bool semicolons = true)
{
    return VCardExport::escapeText(e.text(dataKey(key)), semicolons).toUtf8();
}

void nameLine(const pim::Entity& e, QList<Property>& out)
{
    const QByteArray v = esc(e, 3) + ';' + esc(e, 2) + ';' + esc(e, 4) + ';' + esc(e, 5) + ';' + esc(e, 6);
    out.append(prop("N", utf8Params(), v));
}

void photoLine(const pim::Entity& e, QList<Property>& out)
{
    const QByteArray bytes = e.values.value(dataKey(15)).toByteArray();
    out.append(prop("PHOTO",
        { { QStringLiteral("ENCODING"), QStringLiteral("B") }, { kType, VCardExport::photoType(bytes) } },
        QVCardParser::encodeBase64(bytes, 75)));
}

void dateLine(const pim::Entity& e, QList<Property>& out)
{
    const int code = e.code(dataKey(2));
    const QByteArray v = oneLine(e.text(dataKey(1)));
    if (code == 3)
        out.append(prop("BDAY", {}, v));
    else
        out.append(prop("X-EVENT",
            { { kType, code == 1 ? QStringLiteral("anniversary") : QStringLiteral("other") } }, v));
}

void orgLines(const pim::Entity& e, QList<Property>& out)
{
    out.append(prop("TITLE", utf8Params(), esc(e, 4, false)));
    out.append(prop("ORG", utf8Params(), esc(e, 1) + ';' + esc(e, 5) + ";;"));
}

void addrLine(const pim::Entity& e, QList<Property>& out)
{
    const int code = e.code(dataKey(2));
    const QString type = code == 1 ? QStringLiteral("home")
        : code == 2                ? QStringLiteral("work")
                                   : QStringLiteral("intl");
    QByteArray v = ";;" + esc(e, 4) + ';' + esc(e, 7) + ';' + esc(e, 8) + ';' + esc(e, 9) + ';' + esc(e, 10);
    Params params = utf8Params(type);
    params.insert(QStringLiteral("ENCODING"), QStringLiteral("QUOTED-PRINTABLE"));
    out.append(prop("ADR", params, QVCardParser::encodeQuoted(v, 0)));
}

void entityLines(int kind, const pim::Entity& e, QList<Property>& out)
{
    const QString d1 = e.text(dataKey(1));
    switch (kind) {
    case pim::KindName:
        return nameLine(e, out);
    case pim::KindPhoto:
        return photoLine(e, out);
    case pim::KindPhone: {
        const QString type = phoneType(e.code(dataKey(2)));
        return out.append(prop("TEL", type.isEmpty() ? Params() : Params { { kType, type } }, oneLine(d1)));
    }
    case pim::KindEmail:
        return out.append(prop("EMAIL", { { kType, QStringLiteral("internet") } }, oneLine(d1)));
    case pim::KindNickname:
        return out.append(prop("NICKNAME", utf8Params(), esc(e, 1, false)));
    case pim::KindDate:
        return dateLine(e, out);
    case pim::KindGroup:
        return out.append(prop("CATEGORIES", utf8Params(), esc(e, 2, false)));
    case pim::KindIM:
        return out.append(prop("X-IM", utf8Params(imType(e.code(dataKey(5)))), esc(e, 1, false)));
    case pim::KindNote: {
        Params params = utf8Params();
        params.insert(QStringLiteral("ENCODING"), QStringLiteral("QUOTED-PRINTABLE"));
        QString note = d1;
        note.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        return out.append(prop("NOTE", params, QVCardParser::encodeQuoted(note.toUtf8(), 0)));
    }
    case pim::KindOrg:
        return orgLines(e, out);
    case pim::KindRelation:
        return out.append(prop("X-REL", utf8Params(relType(e.code(dataKey(2)))), esc(e, 1, false)));
    case pim::KindAddress:
        return addrLine(e, out);
    case pim::KindUrl:
        return out.append(prop("URL", { { kType, urlType(e.code(dataKey(2))) } }, oneLine(d1)));
    default:
        return;
    }
}
} // namespace

QString VCardExport::escapeText(const QString& text, bool semicolons, bool commas)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char(';') && semicolons)
            out += QLatin1String("\\;");
        else if (c == QLatin1Char(',') && commas)
            out += QLatin1String("\\,");
        else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\\n");
        } else
            out += c;
    }
    return out;
}

QString VCardExport::photoType(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("PNG");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("GIF");
    return QStringLiteral("JPEG");
}

QList<QVCardParser::_Property> VCardExport::properties(const pim::_Contact& contact)
{
    QList<Property> out;
    out.append(prop("VERSION", {}, "3.0"));
    out.append(prop("FN", utf8Params(), escapeText(contact.shownName(), true, true).toUtf8()));
    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it)
        for (const pim::Entity& e : it.value())
            entityLines(it.key(), e, out);
    return out;
}

QByteArray VCardExport::initialize(const QList<pim::_Contact>&)
{
    return QByteArray();
}

QByteArray VCardExport::ct2Bytes(const pim::_Contact& contact)
{
    return QVCardParser::vcard2Bytes(properties(contact));
}

QByteArray VCardExport::uninitialize()
{
    return QByteArray();
}
