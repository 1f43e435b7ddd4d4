#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

// One entry of a contact card (the picture of a vCard, a printed card): a bold italic label and
// its value, laid out inside a column so that nothing is cut off: a value that does not fit beside
// its label goes on a line of its own under it, and wraps where it is longer still (anywhere when
// a single word is too long); a one-line value is first made a little smaller to stay beside its
// label. A label too long for the column ends in "…".
class CardText
{
public:
    struct Line {
        QRect rect;
        QString text;
        int flags = 0;
        QFont font;
    };
    // The lines of one entry at (x, y) in a column `width` wide, measured for `device` (may be null).
    static QList<Line> layout(const QFont& font, const QPaintDevice* device, int x, int y, int width,
        const QString& label, const QString& value, bool singleLine);
    // Draws the entry and returns its height.
    static int drawEntityVal(QPainter& painter, const QFont& font, int x, int y, int width,
        const QString& label, const QString& value, bool singleLine);
    // Draws lines of layout() that start at y and returns their height.
    static int drawLines(QPainter& painter, const QList<Line>& lines, int y);
};
