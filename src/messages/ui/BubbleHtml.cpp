#include "messages/ui/BubbleHtml.h"

#include "app/DataPaths.h"
#include "app/EmojiReplace.h"
#include "messages/store/MsgAttachment.h"
#include "messages/ui/MsgExportText.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace
{
// Pictures above this stay files: a page turn would carry them again each time.
constexpr qint64 kInlinePictureLimit = 64 * 1024;

// The MIME type of a picture a style sheet may name; empty for anything else.
QLatin1String pictureType(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return QLatin1String("image/png");
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QLatin1String("image/jpeg");
    if (suffix == QLatin1String("gif"))
        return QLatin1String("image/gif");
    return QLatin1String();
}

// The address one url(...) of a style sheet in dir stands for, inline when it can be.
QString inlineAddress(const QString& target, const QDir& dir)
{
    if (!QUrl(target).scheme().isEmpty())
        return target;
    const QString path = QDir::cleanPath(dir.absoluteFilePath(target));
    const QLatin1String type = pictureType(path);
    QFile f(path);
    if (!type.isEmpty() && QFileInfo(path).isFile() && f.size() <= kInlinePictureLimit
        && f.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = f.readAll();
        if (bytes.size() == f.size())
            return QStringLiteral("data:") + type + QStringLiteral(";base64,")
                + QString::fromLatin1(bytes.toBase64());
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}
} // namespace

QString bubble::emoji_replace_handler(void*, QString code)
{
    bool ok = false;
    const char32_t codePoint = char32_t(code.toUInt(&ok, 16));
    // The character stays readable as alt text, and takes the picture's place when the picture
    // cannot be fetched (no broken-image sign).
    const QString alt = ok ? QString::fromUcs4(&codePoint, 1).toHtmlEscaped() : QString();
    return QStringLiteral("<img class=\"emoji\" src=\"%1\" alt=\"%2\" "
                          "onerror=\"this.replaceWith(document.createTextNode(this.alt))\" />")
        .arg(g_emojiImageUrl(code), alt);
}

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
    if (!g_mayHoldEmoji(s))
        return s;
    // Past the bound the emoji stay characters, and cost no replacing.
    const qsizetype end = emoji_span_end(s, kMaxEmojiPictures);
    if (end == s.size())
        return emoji_replace(s, bubble::emoji_replace_handler, nullptr);
    QString out = emoji_replace(s.left(end), bubble::emoji_replace_handler, nullptr);
    return out.append(QStringView(s).mid(end));
}

QString bubbleContent(const QString& html, bool fromMe, const QString& sender)
{
    QString out;
    appendBubble(out, html, fromMe, sender);
    return out;
}

void appendBubble(QString& out, const QString& html, bool fromMe, const QString& sender)
{
    static const QLatin1String cells(
        "<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
        "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
        "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
        "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
        "<div class=\"bb_bg bottom_right\"></div>");
    out.reserve(out.size() + html.size() + cells.size() + sender.size() + 100);
    if (!sender.isEmpty()) {
        out += QLatin1String("<div class=\"ct_left\">");
        out += g_htmlEncode(sender);
        out += QLatin1String("</div><div class=\"clear\"></div>");
    }
    out += fromMe ? QLatin1String("<div class=\"bb2\">") : QLatin1String("<div class=\"bb1\">");
    out += cells;
    out += html;
    out += QLatin1String("</div><div class=\"clear\"></div>");
}

QString bubbleAssetUrl(const QString& name)
{
    return QUrl::fromLocalFile(QDir(g_bubbleDir()).absoluteFilePath(name)).toString();
}

QString imgClickableHtml(const QString& file, const QString& thumb, const QString& attrs)
{
    // Absolute: the view loads its pages from a private temporary file, not beside the assets.
    const QString thumbSrc = QFileInfo(thumb).isFile()
        ? QUrl::fromLocalFile(thumb).toString(QUrl::FullyEncoded)
        : bubbleAssetUrl(QStringLiteral("empty_photo.jpg"));
    // Concatenated, not filled by placeholders, so a "%3F" inside a URL stays what it is.
    return QStringLiteral("<a href=\"") + QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)
        + QStringLiteral("\"><img src=\"") + thumbSrc + QStringLiteral("\" ") + attrs
        + QStringLiteral("></a>");
}

QString placeholderCaption(const _MsgAttachment& a, const QString& why)
{
    if (!why.isEmpty())
        return why;
    const QString name = NotAsWrittenAttachments::fileNameOf(a);
    return name.isEmpty() ? QFileInfo(a._path).fileName() : name;
}

QString placeholderCaptionHtml(const _MsgAttachment& a, const QString& why)
{
    const QString caption = placeholderCaption(a, why);
    return caption.isEmpty() ? QString() : QStringLiteral("<br/>") + g_htmlEncode(caption);
}

QString inlineStyleUrls(const QString& css, const QDir& dir)
{
    static const QRegularExpression url(QStringLiteral("url\\(\\s*(['\"]?)([^'\"()\\s]+)\\1\\s*\\)"));
    QString out;
    out.reserve(css.size());
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = url.globalMatch(css); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(css).mid(done, m.capturedStart() - done);
        out += QStringLiteral("url(") + inlineAddress(m.captured(2), dir) + QLatin1Char(')');
        done = m.capturedEnd();
    }
    out += QStringView(css).mid(done);
    return out;
}

QString bubbleInlineStyle()
{
    static const QString style = [] {
        const QDir dir(g_bubbleDir());
        QFile f(dir.absoluteFilePath(QStringLiteral("style.css")));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return inlineStyleUrls(QString::fromUtf8(f.readAll()), dir);
    }();
    return style;
}
