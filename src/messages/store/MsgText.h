#pragma once

#include "app/ShownText.h"

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
// The most of one text (a message's or a text attachment's) that is shown, in UTF-8 bytes.
constexpr qsizetype kMaxShownText = ShownText::kMaxOpened;
// The line put after a text cut at maxBytes: "[Cut here: only the first N MB of the text is shown.]"
// on a line of its own.
QString msgCutLine(qsizetype maxBytes = kMaxShownText);
// text as it is shown: whole when its UTF-8 form takes at most maxBytes, else its longest prefix
// within them (never half a character) and msgCutLine(maxBytes), as ShownText::opened gives it.
QString msgShownText(const QString& text, qsizetype maxBytes = kMaxShownText);
// The plain text of an archived attributed body (typedstream of an NS(Mutable)AttributedString),
// or a null string when the bytes do not hold one.
QString msgTextFromAttributedBody(const QByteArray& body);
