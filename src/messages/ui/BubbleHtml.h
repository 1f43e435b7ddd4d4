#pragma once

#include <QString>

// Markup pieces of the conversation bubbles, shared by the bubble view and the HTML export.

// The text made safe for HTML: & < > as entities, each line feed (with a carriage return before
// it) as <br/>, each emoji as its picture with the character kept as alt text.
QString g_htmlEncode(const QString& text);
namespace bubble
{
// The picture element of one emoji, given its code point in upper-case hexadecimal, with the
// character as alt text. (The message model's handler of the same name gives "[EMOJI]".)
QString emoji_replace_handler(void* context, QString code);
} // namespace bubble
// One bubble (received "bb1" or sent "bb2") around html, with the sender's name above it when given.
QString bubbleContent(const QString& html, bool fromMe, const QString& sender);
// A linked thumbnail: the file's URL around the thumbnail picture (the placeholder picture of the
// bubble folder when thumb is no file); attrs go into the img element unchanged.
QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs);
// Absolute file URL of an asset of the bubble folder (style.css, empty_photo.jpg, ...).
QString bubbleAssetUrl(const QString& name);
