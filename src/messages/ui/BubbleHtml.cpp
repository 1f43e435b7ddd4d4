#include "messages/ui/BubbleHtml.h"

#include "app/EmojiReplace.h"
#include "messages/ui/MsgExportText.h"

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
    // One pass for the entities and line breaks, copying the runs between them whole.
    QString s;
    s.reserve(text.size() + 16);
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i].unicode();
        if (u != '&' && u != '<' && u != '>' && u != '\n')
            continue;
        // A carriage return right before a line feed goes with it.
        const qsizetype end = (u == '\n' && i > run && p[i - 1] == QLatin1Char('\r')) ? i - 1 : i;
        s.append(p + run, end - run);
        s += u == '&'  ? QLatin1String("&amp;")
            : u == '<' ? QLatin1String("&lt;")
            : u == '>' ? QLatin1String("&gt;")
                       : QLatin1String("<br/>");
        run = i + 1;
    }
    s.append(p + run, n - run);
    return g_mayHoldEmoji(s) ? emoji_replace(s, emoji_replace_handler, nullptr) : s;
}

QString bubbleContent(const QString& html, bool fromMe, const QString& sender)
{
    static const QLatin1String cells(
        "<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
        "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
        "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
        "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
        "<div class=\"bb_bg bottom_right\"></div>");
    QString out;
    out.reserve(html.size() + cells.size() + sender.size() + 100);
    if (!sender.isEmpty()) {
        out += QLatin1String("<div class=\"ct_left\">");
        out += g_htmlEncode(sender);
        out += QLatin1String("</div><div class=\"clear\"></div>");
    }
    out += fromMe ? QLatin1String("<div class=\"bb2\">") : QLatin1String("<div class=\"bb1\">");
    out += cells;
    out += html;
    out += QLatin1String("</div><div class=\"clear\"></div>");
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
