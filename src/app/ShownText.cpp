#include "app/ShownText.h"

#include <QTextBoundaryFinder>

namespace
{
// How far a cut looks back for the start of a character: a sequence of marks and joiners longer
// than this is cut inside it rather than dropped whole.
constexpr qsizetype kLookBack = 64;
// How far past a cut the boundary finder looks to see whether the character there goes on.
constexpr qsizetype kLookAhead = 16;
} // namespace

qsizetype ShownText::boundaryBefore(const QString& text, qsizetype pos)
{
    if (pos <= 0 || pos >= text.size())
        return qBound(qsizetype(0), pos, text.size());
    // A small window around the cut: the finder's cost is the window's, not the text's.
    const qsizetype start = qMax(qsizetype(0), pos - kLookBack);
    const qsizetype end = qMin(text.size(), pos + kLookAhead);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData() + start, int(end - start));
    finder.setPosition(int(pos - start));
    if (finder.isAtBoundary())
        return pos;
    const qsizetype before = finder.toPreviousBoundary();
    // The window's own start is no boundary unless it is the text's.
    if (before > 0 || (before == 0 && start == 0))
        return start + before;
    // No boundary in the window (a long run of marks): at least never half a surrogate pair.
    return text.at(pos - 1).isHighSurrogate() && text.at(pos).isLowSurrogate() ? pos - 1 : pos;
}

QString ShownText::line(const QString& text, qsizetype max)
{
    if (text.size() <= max)
        return text;
    const QChar mark(0x2026);
    const qsizetype cut = boundaryBefore(text, qMax(qsizetype(0), max - 1));
    return text.left(cut) + mark;
}

QString ShownText::cutLine(qsizetype maxBytes)
{
    return QStringLiteral("\n[Cut here: only the first %1 MB of the text is shown.]")
        .arg(maxBytes / (1024 * 1024));
}

QString ShownText::opened(const QString& text, qsizetype maxBytes)
{
    // A UTF-16 unit takes at most 3 bytes in UTF-8: a text this short fits without a look.
    if (text.size() <= maxBytes / 3)
        return text;
    qsizetype bytes = 0;
    qsizetype i = 0;
    for (const qsizetype n = text.size(); i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : QChar::isSurrogate(u) ? 2 : 3;
        if (bytes > maxBytes)
            break;
    }
    if (i == text.size())
        return text;
    return text.left(boundaryBefore(text, i)) + cutLine(maxBytes);
}
