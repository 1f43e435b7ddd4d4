#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

class QPrinter;

// A print laid out beforehand for one drawing rectangle and resolution: what each page draws, in
// order, its bubbles made as pictures. Painting it again places what was made and lays out no
// long text, however long the messages; the pictures are shared with what paints them.
class PrintedPages
{
public:
    PrintedPages(const QRect& rect, int resolution);

    const QRect& rect() const { return m_rect; }
    int resolution() const { return m_resolution; }
    int pageCount() const { return m_pages; }

    void newPage();
    void fill(const QRect& rect, const QColor& color);
    // A short text in the page pen, in the application font at pointSize.
    void text(const QRect& rect, int flags, const QString& text, int pointSize);
    // image at point; only its source part when source is valid.
    void image(const QPoint& point, const QImage& image, const QRect& source);

    // Paints the pages on printer, whose drawing rectangle is rect: as laid out when rect and the
    // resolution are those laid out for, else each page scaled to fit rect. False when painting
    // could not begin.
    bool paint(QPrinter* printer, const QRect& rect) const;

private:
    struct Step {
        enum Kind { NewPage, Fill, Text, Image } kind;
        QRect rect; // filled, written in, or the image's source part
        QPoint point;
        QColor color;
        int flags = 0;
        int pointSize = 0;
        QString text;
        QImage image;
    };

    QRect m_rect;
    int m_resolution;
    int m_pages = 1;
    QList<Step> m_steps;
};
