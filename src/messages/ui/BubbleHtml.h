#pragma once

#include <QString>

class QDir;
class _MsgAttachment;

// The HTML pieces of a conversation drawn as bubbles, shared by the conversation view and the HTML
// export. The class names they use are styled by the bubble folder's style.css.

// The most emoji of one text drawn as pictures, the first in the text; the rest stay characters,
// as a picture that cannot be fetched does: a text of emoji costs about what its characters do.
constexpr int kMaxEmojiPictures = 2000;

// The text made safe inside an element: & < > as entities, a line feed (with a carriage return
// right before it) as <br/>, and each emoji as its picture (see bubble::emoji_replace_handler), the
// first kMaxEmojiPictures of them. Quotation marks are left alone: the result is not for attribute
// values.
QString g_htmlEncode(const QString& text);

namespace bubble
{
// The picture element of one emoji, given its code point in upper-case hexadecimal, with the
// character as alt text; where the picture cannot be fetched the character takes its place. (The
// message model's handler of the same name outside this namespace gives "[EMOJI]".)
QString emoji_replace_handler(void* context, QString code);
} // namespace bubble

// The address of the picture of one emoji, given its code point in upper-case hexadecimal.
QString g_emojiImageUrl(const QString& code);

// One bubble around html: the sender's name above it when sender is not empty, then the nine frame
// cells of the sent ("bb2") or received ("bb1") bubble and html unchanged.
QString bubbleContent(const QString& html, bool fromMe, const QString& sender);
// The same appended to out: a page of long texts is built without copying each again.
void appendBubble(QString& out, const QString& html, bool fromMe, const QString& sender);

// A thumbnail linked to file, both as file URLs; thumb falls back to the bubble folder's
// placeholder picture when it is not an existing file. attrs is put into the img element unchanged.
QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs);

// What stands under the placeholder of a picture without a preview, so that one too large or
// unreadable to draw is still known: why its read failed when it did, else its name.
QString placeholderCaption(const _MsgAttachment& attachment, const QString& why);
// The same as a line of HTML after the placeholder; empty when there is nothing to say.
QString placeholderCaptionHtml(const _MsgAttachment& attachment, const QString& why);

// Absolute file URL of an asset of the bubble folder (style.css, empty_photo.jpg, ...).
QString bubbleAssetUrl(const QString& name);

// The bubble folder's style.css as the text of a <style> element, with the pictures it names put
// in as data: URLs: a page then fetches no file of its own (each fetch costs the web view a round
// trip to another process). Read once and kept; empty when the file cannot be read.
QString bubbleInlineStyle();

// css with each relative url(...) resolved against dir: a small PNG, JPEG or GIF that can be read
// becomes a data: URL, anything else the absolute file URL a linked style sheet would have used.
// Addresses with a scheme (file:, data:, https: ...) are left as they are.
QString inlineStyleUrls(const QString& css, const QDir& dir);
