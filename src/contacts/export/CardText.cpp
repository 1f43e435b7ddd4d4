#include "contacts/export/CardText.h"

#include <QFontMetrics>
#include <QList>
#include <QPainter>
#include <QRegularExpression>

namespace
{
QFontMetrics metrics(const QFont& font, const QPaintDevice* device)
{
    return device ? QFontMetrics(font, device) : QFontMetrics(font);
}

QFont styled(QFont font, bool bold)
{
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(bold);
    return font;
}

// Word wrapping, or wrapping anywhere when a single word is wider than the room.
int wrapFlags(const QFontMetrics& fm, const QString& text, int room)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& word : text.split(blanks, Qt::SkipEmptyParts))
        if (fm.horizontalAdvance(word) > room)
            return Qt::TextWrapAnywhere;
    return Qt::TextWordWrap;
}

CardText::Line wrapped(
    const QFontMetrics& fm, int x, int y, int room, const QString& value, const QFont& font)
{
    const int flags = wrapFlags(fm, value, room);
    return { fm.boundingRect(QRect(x, y, room, 0), flags, value), value, flags, font };
}
// The entry font made smaller, step by step down to three quarters, until text fits in room;
// the entry font itself when even the smallest does not.
QFont fittingFont(const QFont& font, const QPaintDevice* device, const QString& text, int room)
{
    const int size = font.pixelSize();
    if (metrics(font, device).horizontalAdvance(text) <= room)
        return font;
    for (int px = size - 1; size > 0 && px * 4 >= size * 3; --px) {
        QFont smaller = font;
        smaller.setPixelSize(px);
        if (metrics(smaller, device).horizontalAdvance(text) <= room)
            return smaller;
    }
    return font;
}
} // namespace

QList<CardText::Line> CardText::layout(const QFont& font, const QPaintDevice* device, int x, int y, int width,
    const QString& label, const QString& value, bool singleLine)
{
    const int room = qMax(1, width - 2);
    const QFont bold = styled(font, true), plain = styled(font, false);
    const QFontMetrics lfm = metrics(bold, device);
    const QString shownLabel = lfm.elidedText(label, Qt::ElideRight, room);
    QRect l = lfm.boundingRect(QRect(x, y, room, 0), Qt::TextSingleLine, shownLabel);
    l.setRight(qMin(l.right(), x + room - 1));
    QList<Line> lines { { l, shownLabel, Qt::TextSingleLine, bold } };
    if (value.isEmpty())
        return lines;
    const QFontMetrics vfm = metrics(plain, device);
    const int besideX = shownLabel.isEmpty() ? x : l.right() + 3;
    const int beside = x + room - besideX;
    const QFont besideFont = singleLine ? fittingFont(plain, device, value, beside) : plain;
    if (singleLine && metrics(besideFont, device).horizontalAdvance(value) <= beside) {
        // Beside its label, a little smaller when that makes it fit.
        lines.append({ QRect(besideX, l.top(), beside, l.height()), value, Qt::TextSingleLine, besideFont });
    } else if (singleLine) {
        // A number or an address is not broken at its blanks: on its own line, and wrapped
        // anywhere when it is longer still.
        const int flags
            = vfm.horizontalAdvance(value) <= room ? int(Qt::TextSingleLine) : int(Qt::TextWrapAnywhere);
        lines.append(
            { vfm.boundingRect(QRect(x, l.bottom() + 1, room, 0), flags, value), value, flags, plain });
    } else if (beside >= room / 2) {
        lines.append(wrapped(vfm, besideX, y, beside, value, plain));
    } else {
        lines.append(wrapped(vfm, x, l.bottom() + 1, room, value, plain));
    }
    return lines;
}

int CardText::drawEntityVal(QPainter& painter, const QFont& font, int x, int y, int width,
    const QString& label, const QString& value, bool singleLine)
{
    return drawLines(painter, layout(font, painter.device(), x, y, width, label, value, singleLine), y);
}

int CardText::drawLines(QPainter& painter, const QList<Line>& lines, int y)
{
    int bottom = y;
    for (const Line& line : lines) {
        painter.setFont(line.font);
        painter.drawText(line.rect, line.flags, line.text);
        bottom = qMax(bottom, line.rect.bottom() + 1);
    }
    return bottom - y;
}
