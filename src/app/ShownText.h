#pragma once

#include <QString>

// What the screen shows of a stored text. A value may take up to 128 MB, and laying out such a
// text in a list, a header or a title holds the interface for seconds or minutes; every place that
// shows a record's text takes it from here. Saves and exports keep writing the whole values.
class ShownText
{
public:
    // The most characters (UTF-16 units) of a text in a list cell, a tool tip, a header or a title.
    static constexpr qsizetype kMaxLine = 4000;
    // The most of a text the user opens (a message's text, a field of a contact), in UTF-8 bytes.
    static constexpr qsizetype kMaxOpened = 1024 * 1024;

    // text as a list, a header or a title shows it: whole when it has at most max characters, else
    // its head up to a character boundary within them followed by "…". Costs the head, not the text.
    static QString line(const QString& text, qsizetype max = kMaxLine);
    // text as an opened record shows it: whole when its UTF-8 form takes at most maxBytes, else its
    // head up to a character boundary within them and cutLine(maxBytes). Costs the head.
    static QString opened(const QString& text, qsizetype maxBytes = kMaxOpened);
    // The line put after a text cut at maxBytes: "[Cut here: only the first N MB of the text is shown.]"
    // on a line of its own.
    static QString cutLine(qsizetype maxBytes = kMaxOpened);
    // The greatest position at most pos that cuts no character: not between the halves of a
    // surrogate pair, nor before a combining mark or a joiner (looked for a few units back only).
    static qsizetype boundaryBefore(const QString& text, qsizetype pos);
};
