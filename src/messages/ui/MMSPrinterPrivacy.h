#pragma once

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgTextField.h"
#include "messages/ui/UnreadAttachments.h"

#include <QHash>
#include <QImage>
#include <QMetaType>
#include <QPainter>
#include <QRect>
#include <QString>

class PrintedPages;
class QPrinter;
class _MsgMessage;

// Lays messages out as a paper conversation on a printer, page after page: date lines, sender
// names in group conversations, one bubble picture per text and per attachment (received on the
// left, sent on the right), a coloured background and the page number. Serves both printing and
// the PDF export. Sizes are in the printer's device units.
class MMSPrinterPrivacy
{
public:
    // What a picture's or a card's bubble draws: its preview, or null with why it was not read.
    struct Preview {
        QImage picture;
        QString why;
    };
    // Whether the attachment is drawn from a preview (a picture, a contact card).
    static bool hasPreview(const _MsgAttachment& attachment);
    // Reads and decodes the attachment's preview: work for a thread apart from the window's.
    static Preview makePreview(const _MsgAttachment& attachment);

    // One message as it is laid out, apart from the records it comes from: what it shows is copied,
    // so that a thread may lay it out while the records go.
    struct Entry {
        QString name; // the sender's name over a group's received bubbles
        int itemType = 0;
        QString summary; // an event's text
        int date = 0;
        bool fromMe = false;
        QString subject;
        MsgTextField text;
        QList<_MsgAttachment> attachments;
    };
    static Entry entryOf(const _MsgMessage& message);
    // The drawing rectangle on printer, in its device units.
    static QRect drawingRect(QPrinter* printer);

    MMSPrinterPrivacy() = default;
    MMSPrinterPrivacy(const MMSPrinterPrivacy&) = delete;
    MMSPrinterPrivacy& operator=(const MMSPrinterPrivacy&) = delete;

    // Binds the printer and begins painting with page 1. When painting cannot begin (a file that
    // cannot be created) the painter stays inactive: see isActive().
    void reset(QPrinter* printer);
    bool isActive() const { return m_pages || m_painter.isActive(); }
    // Lays out on the drawing rectangle and resolution of pages, recording into them what each page
    // draws instead of painting: work for a thread apart from the window's. The sender names and
    // event texts recorded are bounded as a line of the screen is, being drawn at each painting.
    void record(PrintedPages* pages);
    // Starts a new page when fewer than height units are left on this one.
    void checkAndNextPage(int height);
    // Lays out one message at the current position and moves below it.
    void print(const _MsgMessage* message);
    void print(const Entry& message);
    // Ends painting; false when the output could not be completed.
    bool end();

    int pageNumber() const { return m_page; }
    // The attachments since reset() whose reads failed (a picture, a text, a card), each with why
    // ("Cannot read <path>. <the system's reason>"); the bubble of each shows this text in place of
    // its own. Empty when every one was read.
    const UnreadAttachments& unreadAttachments() const { return m_unread; }

private:
    void newPage();
    void drawPageBackground();
    void nameLine(const QString& name);
    void placeImage(const QImage& image, bool fromMe);
    void placeText(const QString& text, bool fromMe);
    void placeAttachment(const _MsgAttachment* attachment, bool fromMe);
    void placePicture(const _MsgAttachment* attachment, bool fromMe);
    void placeUnread(const _MsgAttachment* attachment, const QString& why, bool fromMe);
    void placeCard(const _MsgAttachment* attachment, bool fromMe);
    Preview previewOf(const _MsgAttachment* attachment) const;
    int capacity() const;
    int bubbleWidth() const;
    // What is drawn: painted, or recorded when laying out for PrintedPages.
    void setPointSize(int pointSize);
    void paintFill(const QRect& rect);
    void paintText(const QRect& rect, int flags, const QString& text);
    void paintImage(const QPoint& point, const QImage& image, const QRect& source = QRect());
    int wrappedHeight(const QRect& rect, int flags, const QString& text);

    QPrinter* m_printer = nullptr;
    QPainter m_painter;
    QRect m_rect;
    int m_y = 0;
    int m_page = 0;
    int m_lastDate = 0;
    UnreadAttachments m_unread;
    PrintedPages* m_pages = nullptr;
    int m_pointSize = 12;
    int m_resolution = 0;
};

Q_DECLARE_METATYPE(MMSPrinterPrivacy::Preview)

// A bubble picture holding text word-wrapped to at most width units.
QImage text_bubble(QString text, int width, bool fromMe);
// A bubble picture around a picture; a null picture gives a null image.
QImage pm_bubble(const QImage& picture, bool fromMe);
// The nine-slice bubble frame filling rect.
void print_bubble(QPainter& painter, const QRect& rect, bool fromMe);
