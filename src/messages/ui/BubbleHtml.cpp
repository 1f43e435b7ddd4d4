#include "messages/ui/BubbleHtml.h"

#include "app/DataPaths.h"
#include "app/EmojiReplace.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString bubble::emoji_replace_handler(void*, QString code)
{
    bool ok = false;
    const char32_t cp = char32_t(code.toUInt(&ok, 16));
    // The character stays readable as alt text when the picture cannot be fetched.
    const QString alt = ok ? QString::fromUcs4(&cp, 1).toHtmlEscaped() : QString();
    // An unreachable picture gives way to the character itself instead of a broken-image sign.
    return QStringLiteral("<img class=\"emoji\" src=\"%1/app_res/emoji/%2.png\" alt=\"%3\" "
                          "onerror=\"this.replaceWith(document.createTextNode(this.alt))\" />")
        .arg(QStringLiteral(QM_SERVICE_HOST), code, alt);
}

QString g_htmlEncode(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    s.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    s.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    s.replace(QLatin1String("\r\n"), QLatin1String("<br/>"));
    s.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return emoji_replace(s, bubble::emoji_replace_handler, nullptr);
}

QString bubbleContent(const QString& html, bool fromMe, const QString& sender)
{
    static const char* const cells[] = { "top_left", "top_middle", "top_right", "middle_left",
        "middle_middle", "middle_right", "bottom_left", "bottom_middle", "bottom_right" };
    QString out;
    if (!sender.isEmpty())
        out += QStringLiteral("<div class=\"ct_left\">%1</div><div class=\"clear\"></div>")
                   .arg(g_htmlEncode(sender));
    out += QStringLiteral("<div class=\"%1\">").arg(fromMe ? QStringLiteral("bb2") : QStringLiteral("bb1"));
    for (const char* c : cells)
        out += QStringLiteral("<div class=\"bb_bg %1\"></div>").arg(QLatin1String(c));
    out += html;
    out += QStringLiteral("</div><div class=\"clear\"></div>");
    return out;
}

QString bubbleAssetUrl(const QString& name)
{
    return QUrl::fromLocalFile(QDir(g_bubbleDir()).absoluteFilePath(name)).toString();
}

QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs)
{
    const QString thumbUrl = QFileInfo(thumb).isFile()
        ? QUrl::fromLocalFile(thumb).toString(QUrl::FullyEncoded)
        : bubbleAssetUrl(QStringLiteral("empty_photo.jpg"));
    // One multi-argument arg(): a "%" sign inside one value is never taken for a later marker.
    return QStringLiteral("<a href=\"%1\"><img src=\"%2\" %3></a>")
        .arg(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded), thumbUrl, attrs);
}
