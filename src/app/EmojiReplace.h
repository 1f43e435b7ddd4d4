#pragma once

#include <QRegularExpressionMatch>
#include <QString>

// Replaces every emoji of text by what callback makes of its code point, written in upper-case
// hexadecimal ("E001", "203C", "1F604"). Two passes, in this order: first the single UTF-16 units
// of the old private-use emoji range U+E000-U+E537 and of a set of symbols; then the surrogate
// pairs of U+1F000-U+1F7FF. Each emoji calls callback once, in text order within a pass; what
// callback returns is not scanned again. context is handed to callback unchanged.
QString emoji_replace(const QString& text, QString (*callback)(void* context, QString code), void* context);

// Where the count-th emoji of text (as emoji_replace finds them, in text order) ends; text.size()
// when it holds fewer. One pass over text, no expression engine.
qsizetype emoji_span_end(const QString& text, qsizetype count);

// Internal: the replacement functions of the two passes, handed to rx_replace. pair points at the
// caller's callback and context; each returns the callback's text for the emoji in capture 1.
QString empji_rep1(void* pair, const QRegularExpressionMatch& rx);
QString empji_rep2(void* pair, const QRegularExpressionMatch& rx);
