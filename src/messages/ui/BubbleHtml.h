#pragma once

#include <QString>

// The HTML pieces of a conversation drawn as bubbles, shared by the conversation view and the HTML
// export. The class names they use are styled by the bubble folder's style.css.

// The text made safe inside an element: & < > as entities, a line feed (with a carriage return
// right before it) as <br/>, and each emoji as an <img> of the emoji picture service whose alt is
// the emoji itself, so the text still reads where the pictures cannot be fetched. Quotation marks
// are left alone: the result is not for attribute values.
QString g_htmlEncode(const QString& text);

// One bubble around html: the sender's name above it when sender is not empty, then the nine frame
// cells of the sent ("bb2") or received ("bb1") bubble and html unchanged.
QString bubbleContent(const QString& html, bool fromMe, const QString& sender);

// A thumbnail linked to file, both as file URLs; thumb falls back to "bubble/empty_photo.jpg" when
// it is not an existing file. attrs is put into the img element unchanged.
QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs);

// The address of the picture of one emoji, given its code point in upper-case hexadecimal.
QString g_emojiImageUrl(const QString& code);
