#include "messages/ui/PrintedPages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>

namespace
{
const QColor kPagePen(146, 146, 165);

QFont appFont(int pointSize)
{
    QFont font = QGuiApplication::font();
    font.setPointSize(pointSize);
    return font;
}
} // namespace

PrintedPages::PrintedPages(const QRect& rect, int resolution)
    : m_rect(rect)
    , m_resolution(resolution)
{
}

void PrintedPages::newPage()
{
    m_steps.append({ Step::NewPage, {}, {}, {}, 0, 0, {}, {} });
    ++m_pages;
}

void PrintedPages::fill(const QRect& rect, const QColor& color)
{
    m_steps.append({ Step::Fill, rect, {}, color, 0, 0, {}, {} });
}

void PrintedPages::text(const QRect& rect, int flags, const QString& text, int pointSize)
{
    m_steps.append({ Step::Text, rect, {}, {}, flags, pointSize, text, {} });
}

void PrintedPages::image(const QPoint& point, const QImage& image, const QRect& source)
{
    // The bubbles are opaque (drawn on the page's colour): kept in the format a painted opaque
    // picture takes, so that painting shares them rather than converting a copy at each painting.
    m_steps.append({ Step::Image, source, point, {}, 0, 0, {}, image.convertToFormat(QImage::Format_RGB32) });
}

bool PrintedPages::paint(QPrinter* printer, const QRect& rect) const
{
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    if (rect != m_rect || printer->resolution() != m_resolution) {
        // Another paper or resolution than laid out for: the same pages, scaled to fit.
        const qreal scale = qMin(
            rect.width() / qreal(qMax(1, m_rect.width())), rect.height() / qreal(qMax(1, m_rect.height())));
        painter.translate(rect.topLeft());
        painter.scale(scale, scale);
        painter.translate(-m_rect.topLeft());
    }
    painter.setPen(kPagePen);
    int pointSize = 12;
    painter.setFont(appFont(pointSize));
    for (const Step& step : m_steps) {
        switch (step.kind) {
        case Step::NewPage:
            printer->newPage();
            break;
        case Step::Fill:
            painter.fillRect(step.rect, step.color);
            break;
        case Step::Text:
            if (step.pointSize != pointSize)
                painter.setFont(appFont(pointSize = step.pointSize));
            painter.drawText(step.rect, step.flags, step.text);
            break;
        case Step::Image:
            if (!step.rect.isNull())
                painter.drawImage(step.point, step.image, step.rect);
            else
                painter.drawImage(step.point, step.image);
            break;
        }
    }
    return painter.end();
}
