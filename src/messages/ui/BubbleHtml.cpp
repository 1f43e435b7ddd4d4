#include "messages/ui/BubbleHtml.h"

#include "app/EmojiReplace.h"

#include <QFileInfo>
#include <QUrl>

namespace
{

// The emoji picture element; its own file-local handler, as the message model has another one
// that turns every emoji into "[EMOJI]".
QString emoji_replace_handler(void*, QString code)
{
    bool ok = false;
    const char32_t codePoint = code.toUInt(&ok, 16);
    QString alt;
    if (ok)
        alt = QString::fromUcs4(&codePoint, 1);
    return QStringLiteral("<img src=\"%1\" alt=\"%2\" />").arg(g_emojiImageUrl(code), alt);
}

} // namespace

QString g_emojiImageUrl(const QString& code)
{
    return QStringLiteral(QM_EMOJI_HOST) + QStringLiteral("/app_res/emoji/") + code + QStringLiteral(".png");
}

QString g_htmlEncode(const QString& text)
{
    QString s = text;
    s.replace('&', QLatin1String("&amp;"));
    s.replace('<', QLatin1String("&lt;"));
    s.replace('>', QLatin1String("&gt;"));
    s.replace(QLatin1String("\r\n"), QLatin1String("<br/>"));
    s.replace('\n', QLatin1String("<br/>"));
    return emoji_replace(s, emoji_replace_handler, nullptr);
}

QString bubbleContent(const QString& html, bool fromMe, const QString& sender)
{
    static const char* const cells[] = { "top_left", "top_middle", "top_right", "middle_left",
        "middle_middle", "middle_right", "bottom_left", "bottom_middle", "bottom_right" };
    QString out;
    if (!sender.isEmpty())
        out += QStringLiteral("<div class=\"ct_left\">") + g_htmlEncode(sender)
            + QStringLiteral("</div><div class=\"clear\"></div>");
    out += fromMe ? QStringLiteral("<div class=\"bb2\">") : QStringLiteral("<div class=\"bb1\">");
    for (const char* cell : cells)
        out += QStringLiteral("<div class=\"bb_bg %1\"></div>").arg(QLatin1String(cell));
    out += html;
    out += QStringLiteral("</div><div class=\"clear\"></div>");
    return out;
}

QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs)
{
    const QString thumbSrc = QFileInfo(thumb).isFile() ? QUrl::fromLocalFile(thumb).toString()
                                                       : QStringLiteral("bubble/empty_photo.jpg");
    // Concatenated, not filled by placeholders, so a "%3F" inside a URL stays what it is.
    return QStringLiteral("<a href=\"") + QUrl::fromLocalFile(file).toString()
        + QStringLiteral("\"><img src=\"") + thumbSrc + QStringLiteral("\" ") + attrs
        + QStringLiteral("></a>");
}
