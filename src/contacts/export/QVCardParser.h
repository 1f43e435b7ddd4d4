#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The vCard line form, read and written. parse() reads a whole vCard file (2.1, 3.0 or 4.0:
// folded lines, quoted-printable and base64 values, CR LF or LF) into cards of content lines; the
// writing operations build cards for the vCard export. Headless and reentrant: any thread may
// parse, also vCards received as message attachments.
class QVCardParser
{
public:
    // One content line: name (with any group prefix), parameters (one value per name, an empty
    // text for a bare parameter) and the value bytes. For writing, the value is exactly what stands
    // after the colon; parse() stores it with its transfer encoding undone.
    struct _Property {
        QString name;
        QMap<QString, QString> params;
        QByteArray value;

        // The value as text: decoded with the CHARSET parameter when one is given and known,
        // else as the local 8-bit encoding (UTF-8 here).
        QString toString() const;
        // The value split at unescaped ";"; a backslash takes the next character literally.
        QStringList values() const;
    };
    using Card = QList<_Property>;

    // Inputs above this size are not read (an empty result); so is what follows the
    // kMaxProperties-th property.
    static constexpr qsizetype kMaxInput = 64 * 1024 * 1024;
    static constexpr int kMaxProperties = 4 * 1024 * 1024;

    // The cards of the bytes, in file order; a malformed line ends the reading and the cards read
    // so far (the open one included) are returned. Never throws.
    static QList<Card> parse(const QByteArray& data);

    // One card: BEGIN, the lines, END, each ended by CR LF.
    static QByteArray vcard2Bytes(const QList<_Property>& props);
    // Quoted-printable; width 0 gives no soft line breaks.
    static QByteArray encodeQuoted(const QByteArray& bytes, int width);
    // Base64 folded into segments of width characters joined by CR LF and a blank.
    static QByteArray encodeBase64(const QByteArray& bytes, int width);
};
