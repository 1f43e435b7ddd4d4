#include "messages/ui/MMSPrinterPrivacy.h"

#include "app/DataPaths.h"
#include "app/EmojiReplace.h"
#include "app/ShownText.h"
#include "contacts/export/VCardThumbnail.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"
#include "messages/ui/BubbleHtml.h"
#include "messages/ui/PrintedPages.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>
#include <QTextLayout>
#include <QThread>
#include <QtMath>
#include <array>

namespace
{
const QColor BG_COLOR(219, 226, 237);
const QColor kPagePen(146, 146, 165);
// Top, right, bottom and left border of the received (bb1) and sent (bb2) bubble frames.
constexpr int BB1_BORDER_WIDTH[4] = { 28, 29, 24, 40 };
constexpr int BB2_BORDER_WIDTH[4] = { 27, 41, 25, 29 };
// A page slice of a tall bubble is not started in less room than this.
constexpr int kMinSlice = 60;

using BubblePics = std::array<QImage, 9>;

// The bubble folder, fixed at first use.
const QString& g_bubbleSrcDir()
{
    static const QString dir = g_bubbleDir();
    return dir;
}

BubblePics loadPics(const char* prefix)
{
    BubblePics pics;
    const QDir dir(g_bubbleSrcDir());
    for (int i = 0; i < 9; ++i)
        pics[i].load(
            dir.absoluteFilePath(QStringLiteral("%1_0%2.png").arg(QLatin1String(prefix)).arg(i + 1)));
    return pics;
}

const BubblePics& bubblePics(bool fromMe)
{
    static const BubblePics BB1_PICS = loadPics("bb1");
    static const BubblePics BB2_PICS = loadPics("bb2");
    return fromMe ? BB2_PICS : BB1_PICS;
}

QFont appFont(int pointSize)
{
    QFont font = QGuiApplication::font();
    font.setPointSize(pointSize);
    return font;
}

QImage loadPicture(const QString& path)
{
    QImage image;
    if (!image.load(path, "JPEG"))
        image.load(path, "PNG");
    return image;
}

QImage placeholderPicture()
{
    return loadPicture(QDir(g_bubbleDir()).absoluteFilePath(QStringLiteral("empty_photo.jpg")));
}

QTextOption wrapOption()
{
    // Word boundaries first; a word longer than the line is broken rather than widening the bubble.
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Line feeds as the line separators the text layout breaks at.
QString layoutText(QString text)
{
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace('\n', QChar::LineSeparator);
    return text;
}

// The size of text wrapped into lines of at most width units.
QSize wrappedSize(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    layout.setTextOption(wrapOption());
    layout.beginLayout();
    qreal height = 0;
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height += line.height();
        widest = qMax(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return QSize(qCeil(widest), qCeil(height));
}

// picture with caption word-wrapped under it, in lines of at most width units.
QImage captioned(const QImage& picture, const QString& caption, int width)
{
    if (caption.isEmpty())
        return picture;
    const QFont font = appFont(10);
    const QString text = layoutText(caption);
    const QSize size = wrappedSize(text, font, width);
    QImage image(
        qMax(picture.width(), size.width()), picture.height() + 4 + size.height(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.drawImage(0, 0, picture);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, picture.height() + 4, width, size.height()), text, wrapOption());
    p.end();
    return image;
}

// Splits text into pieces whose bubbles are at most maxHeight high (the first at most
// firstHeight), breaking between the lines the bubble would wrap the text into.
QStringList splitIntoBubbles(const QString& text, int width, int firstHeight, int maxHeight)
{
    QTextLayout layout(text, appFont(12));
    layout.setTextOption(wrapOption());
    layout.beginLayout();
    QStringList pieces;
    int start = 0;
    qreal height = 0;
    int limit = firstHeight - 20;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width - 50));
        const qreal h = line.height();
        if (height + h > limit - 4 && line.textStart() > start) {
            pieces << text.mid(start, line.textStart() - start);
            start = line.textStart();
            height = 0;
            limit = maxHeight - 20;
        }
        height += h;
    }
    layout.endLayout();
    pieces << text.mid(start);
    return pieces;
}
} // namespace

void print_bubble(QPainter& painter, const QRect& r, bool fromMe)
{
    const BubblePics& pics = bubblePics(fromMe);
    const int* border = fromMe ? BB2_BORDER_WIDTH : BB1_BORDER_WIDTH;
    const int T = border[0], R = border[1], B = border[2], L = border[3];
    const int xs[3] = { r.left(), r.left() + L, r.right() - R };
    const int ws[3] = { L, r.width() - L - R, R };
    const int ys[3] = { r.top(), r.top() + T, r.bottom() - B };
    const int hs[3] = { T, r.height() - T - B, B };
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            painter.drawImage(QRect(xs[col], ys[row], ws[col], hs[row]), pics[row * 3 + col]);
}

QImage text_bubble(QString text, int width, bool fromMe)
{
    const QFont font = appFont(12);
    text = layoutText(text);
    const int lineWidth = qMax(1, width - 50);
    const QSize size = wrappedSize(text, font, lineWidth);
    QImage image(qMax(size.width(), 40) + 50, qMax(size.height(), 32) + 20, QImage::Format_ARGB32);
    image.fill(BG_COLOR);
    QPainter p(&image);
    print_bubble(p, image.rect(), fromMe);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(fromMe ? 20 : 30, 10, lineWidth, size.height()), text, wrapOption());
    return image;
}

QImage pm_bubble(const QImage& picture, bool fromMe)
{
    if (picture.isNull())
        return picture;
    const int pw = picture.width();
    const int ph = picture.height();
    QImage image(qMax(pw, 40) + 50, qMax(ph, 22) + 30, QImage::Format_ARGB32);
    image.fill(BG_COLOR);
    QPainter p(&image);
    print_bubble(p, image.rect(), fromMe);
    p.drawImage(QRect(fromMe ? 20 : 30, 10, pw, ph + 10), picture);
    return image;
}

QRect MMSPrinterPrivacy::drawingRect(QPrinter* printer)
{
    const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
    const QRectF page = printer->pageRect(QPrinter::DevicePixel);
    const int left = int(margins.left());
    const int top = int(margins.top());
    return QRect(left, top, int(page.width() - margins.left() - margins.right()),
        int(page.height() - margins.top() - margins.bottom()));
}

void MMSPrinterPrivacy::reset(QPrinter* printer)
{
    m_printer = printer;
    m_pages = nullptr;
    m_rect = drawingRect(printer);
    m_y = m_rect.top();
    m_page = 1;
    m_lastDate = 0;
    m_pointSize = 12;
    m_unread = UnreadAttachments();
    if (!m_painter.begin(printer))
        return;
    m_painter.setFont(appFont(12));
    m_painter.setPen(kPagePen);
    drawPageBackground();
}

void MMSPrinterPrivacy::record(PrintedPages* pages)
{
    m_printer = nullptr;
    m_pages = pages;
    m_rect = pages->rect();
    m_resolution = pages->resolution();
    m_y = m_rect.top();
    m_page = 1;
    m_lastDate = 0;
    m_pointSize = 12;
    m_unread = UnreadAttachments();
    drawPageBackground();
}

void MMSPrinterPrivacy::setPointSize(int pointSize)
{
    m_pointSize = pointSize;
    if (!m_pages)
        m_painter.setFont(appFont(pointSize));
}

void MMSPrinterPrivacy::paintFill(const QRect& rect)
{
    if (m_pages)
        m_pages->fill(rect, BG_COLOR);
    else
        m_painter.fillRect(rect, BG_COLOR);
}

void MMSPrinterPrivacy::paintText(const QRect& rect, int flags, const QString& text)
{
    if (m_pages)
        m_pages->text(rect, flags, text, m_pointSize);
    else
        m_painter.drawText(rect, flags, text);
}

void MMSPrinterPrivacy::paintImage(const QPoint& point, const QImage& image, const QRect& source)
{
    if (m_pages)
        m_pages->image(point, image, source);
    else if (source.isNull())
        m_painter.drawImage(point, image);
    else
        m_painter.drawImage(point, image, source);
}

int MMSPrinterPrivacy::wrappedHeight(const QRect& rect, int flags, const QString& text)
{
    if (!m_pages)
        return m_painter.boundingRect(rect, flags, text).height();
    // Measured as on the printer: on a device of its resolution.
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(qRound(m_resolution / 0.0254));
    device.setDotsPerMeterY(qRound(m_resolution / 0.0254));
    QPainter painter(&device);
    painter.setFont(appFont(m_pointSize));
    return painter.boundingRect(rect, flags, text).height();
}

void MMSPrinterPrivacy::drawPageBackground()
{
    paintFill(m_rect);
    const QRect strip(m_rect.left(), m_rect.bottom() + 2, m_rect.width(), 18);
    paintText(strip, Qt::AlignRight, QString::number(m_page));
}

void MMSPrinterPrivacy::newPage()
{
    if (m_pages)
        m_pages->newPage();
    else
        m_printer->newPage();
    m_y = m_rect.top();
    ++m_page;
    drawPageBackground();
}

void MMSPrinterPrivacy::checkAndNextPage(int height)
{
    if (m_rect.height() - m_y < height)
        newPage();
}

bool MMSPrinterPrivacy::end()
{
    return !m_painter.isActive() || m_painter.end();
}

int MMSPrinterPrivacy::capacity() const
{
    return m_rect.height() - m_rect.top();
}

int MMSPrinterPrivacy::bubbleWidth() const
{
    return int(m_rect.width() * 0.8);
}

MMSPrinterPrivacy::Entry MMSPrinterPrivacy::entryOf(const _MsgMessage& message)
{
    Entry entry;
    const _MsgChat* chat = message._chat;
    const _MsgHandle* sender = message._sender;
    if (chat && chat->isGroup() && !message.is_from_me && sender)
        entry.name = sender->_ct_name.isEmpty() ? sender->id : sender->_ct_name;
    entry.itemType = message.item_type;
    if (entry.itemType != 0)
        entry.summary = message.summary();
    entry.date = message.date;
    entry.fromMe = message.is_from_me != 0;
    entry.subject = message.subject;
    entry.text = message.text;
    for (const _MsgAttachment* a : message.attachments())
        entry.attachments.append(*a);
    return entry;
}

void MMSPrinterPrivacy::print(const _MsgMessage* message)
{
    if (isActive())
        print(entryOf(*message));
}

void MMSPrinterPrivacy::print(const Entry& message)
{
    if (!isActive())
        return;
    const QString name = m_pages ? ShownText::line(message.name) : message.name;
    if (message.itemType != 0) {
        setPointSize(10);
        const QString text = m_pages ? ShownText::line(message.summary) : message.summary;
        const int flags = Qt::TextWordWrap | Qt::AlignHCenter;
        const int h = wrappedHeight(QRect(m_rect.left(), m_y, m_rect.width(), 0), flags, text);
        checkAndNextPage(h + 8);
        paintText(QRect(m_rect.left(), m_y, m_rect.width(), h), flags, text);
        m_y += h + 8;
        setPointSize(12);
        return;
    }
    const QDateTime dt = dtFromDate21(message.date);
    const int t = int(dt.toSecsSinceEpoch());
    if (qint64(t) - m_lastDate >= 61) {
        m_lastDate = t;
        checkAndNextPage(24);
        paintText(QRect(m_rect.left(), m_y, m_rect.width(), 22), Qt::AlignHCenter,
            dt.toString(QStringLiteral("dd MMM yyyy h:m AP")));
        m_y += 24;
    }
    QString body;
    if (!message.subject.isEmpty())
        body = QStringLiteral("<Subject:%1>\n").arg(message.subject);
    body += message.text();
    body = emoji_replace(msgShownText(body.trimmed()), emoji_replace_handler, nullptr);
    if (!body.isEmpty() || message.attachments.isEmpty()) {
        nameLine(name);
        placeText(body, message.fromMe);
    }
    for (const _MsgAttachment& a : message.attachments) {
        nameLine(name);
        placeAttachment(&a, message.fromMe);
    }
}

void MMSPrinterPrivacy::nameLine(const QString& name)
{
    if (name.isEmpty())
        return;
    checkAndNextPage(19);
    paintText(QRect(m_rect.left() + 25, m_y, m_rect.width() - 50, 18), Qt::AlignLeft, name);
    m_y += 19;
}

// A text bubble; one taller than a page is cut between its lines into bubbles that each fit.
void MMSPrinterPrivacy::placeText(const QString& text, bool fromMe)
{
    const int width = bubbleWidth();
    const QString laidOut = layoutText(text);
    const int height = wrappedSize(laidOut, appFont(12), qMax(1, width - 50)).height() + 20;
    if (height <= capacity()) {
        placeImage(text_bubble(laidOut, width, fromMe), fromMe);
        return;
    }
    int room = m_rect.height() - m_y;
    if (room < kMinSlice) {
        newPage();
        room = capacity();
    }
    for (const QString& piece : splitIntoBubbles(laidOut, width, room, capacity())) {
        if (m_pages && QThread::currentThread()->isInterruptionRequested())
            return; // laid out apart, for nobody now
        placeImage(text_bubble(piece, width, fromMe), fromMe);
    }
}

// Draws a bubble at the current position; one still taller than a page continues on the next in
// page-sized slices rather than running off the paper.
void MMSPrinterPrivacy::placeImage(const QImage& image, bool fromMe)
{
    const int x = fromMe ? m_rect.right() - image.width() : m_rect.left();
    if (image.height() <= capacity()) {
        checkAndNextPage(image.height());
        if (!image.isNull())
            paintImage(QPoint(x, m_y), image);
        m_y += image.height() + 10;
        return;
    }
    for (int offset = 0; offset < image.height();) {
        if (m_rect.height() - m_y < kMinSlice)
            newPage();
        const int slice = qMin(m_rect.height() - m_y, image.height() - offset);
        paintImage(QPoint(x, m_y), image, QRect(0, offset, image.width(), slice));
        m_y += slice;
        offset += slice;
    }
    m_y += 10;
}

// The bubble of an attachment whose read failed part-way says why in place of what it would show.
void MMSPrinterPrivacy::placeUnread(const _MsgAttachment* a, const QString& why, bool fromMe)
{
    placeText(why, fromMe);
    m_unread.add(*a, why);
}

bool MMSPrinterPrivacy::hasPreview(const _MsgAttachment& a)
{
    const QString mime = a.mime_type.toLower();
    return mime.startsWith(QLatin1String("image/")) || mime == QLatin1String("text/x-vcard")
        || mime == QLatin1String("text/vcard");
}

MMSPrinterPrivacy::Preview MMSPrinterPrivacy::makePreview(const _MsgAttachment& a)
{
    Preview made;
    QString drawn;
    if (a.mime_type.toLower().startsWith(QLatin1String("image/"))) {
        if (QFileInfo(a._path).isFile())
            drawn = a.thumbnail(&made.why);
    } else if (QFileInfo(a._path).isFile() && a._notAsWritten.isEmpty()) {
        drawn = vcard_thumbnail(a._path, &made.why);
    }
    if (QFileInfo(drawn).isFile())
        made.picture = loadPicture(drawn);
    return made;
}

MMSPrinterPrivacy::Preview MMSPrinterPrivacy::previewOf(const _MsgAttachment* a) const
{
    return makePreview(*a);
}

// A picture without a preview shows the placeholder and, under it, its name or why it was not read.
void MMSPrinterPrivacy::placePicture(const _MsgAttachment* a, bool fromMe)
{
    const Preview preview = previewOf(a);
    if (!preview.picture.isNull())
        return placeImage(pm_bubble(preview.picture, fromMe), fromMe);
    if (!preview.why.isEmpty())
        m_unread.add(*a, preview.why);
    const QImage placeholder = placeholderPicture();
    const int width = qMax(placeholder.width(), bubbleWidth() - 50);
    placeImage(pm_bubble(captioned(placeholder, placeholderCaption(*a, preview.why), width), fromMe), fromMe);
}

void MMSPrinterPrivacy::placeCard(const _MsgAttachment* a, bool fromMe)
{
    const Preview preview = previewOf(a);
    if (!preview.why.isEmpty())
        placeUnread(a, preview.why, fromMe);
    else if (preview.picture.isNull())
        placeImage(text_bubble(QStringLiteral("[VCARD]"), bubbleWidth(), fromMe), fromMe);
    else
        placeImage(pm_bubble(preview.picture, fromMe), fromMe);
}

void MMSPrinterPrivacy::placeAttachment(const _MsgAttachment* a, bool fromMe)
{
    const int w = bubbleWidth();
    const QString mime = a->mime_type.toLower();
    if (mime.startsWith(QLatin1String("image/"))) {
        placePicture(a, fromMe);
    } else if (mime.startsWith(QLatin1String("video/"))) {
        placeImage(text_bubble(QStringLiteral("[VIDEO]"), w, fromMe), fromMe);
    } else if (mime.startsWith(QLatin1String("audio/"))) {
        placeImage(text_bubble(QStringLiteral("[AUDIO]"), w, fromMe), fromMe);
    } else if (hasPreview(*a)) {
        placeCard(a, fromMe);
    } else if (mime == QLatin1String("text/plain")) {
        QString text;
        QString why;
        if (a->plainText(&text, &why)) {
            placeText(text, fromMe);
        } else if (!why.isEmpty()) {
            placeUnread(a, why, fromMe);
        } else {
            placeImage(QImage(), fromMe);
        }
    } else {
        placeImage(text_bubble(QStringLiteral("[ATTACHMENT]"), w, fromMe), fromMe);
    }
}
