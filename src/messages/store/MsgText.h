#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Local date-time of a model date (seconds since 2001-01-01 UTC).
QDateTime dtFromDate21(int date);
// The archived attributed body (typedstream) of a message that is one attachment placeholder
// carrying the attachment's guid.
QByteArray msgAttaAttributeBody(const QString& guid);
// Replacement callback for emoji_replace: every emoji becomes "[EMOJI]".
QString emoji_replace_handler(void* context, QString code);
// The plain text of an archived attributed body (typedstream of an NS(Mutable)AttributedString),
// or a null string when the bytes do not hold one.
QString msgTextFromAttributedBody(const QByteArray& body);
