#include "app/ui/shared/LongTextBox.h"

#include "app/ShownText.h"

#include <QEvent>
#include <QMimeData>
#include <QTextBlock>

namespace
{
// How far back from a block's end a blank or a line end is looked for, to cut there.
constexpr qsizetype kLookBack = 200;

bool endsLine(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator
        || c == QChar::LineSeparator;
}

// Where the piece starting at start ends: after a line end or a blank near kBlock characters,
// else at a character boundary.
qsizetype pieceEnd(const QString& text, qsizetype start)
{
    const qsizetype end = start + LongTextBox::kBlock;
    if (end >= text.size())
        return text.size();
    for (qsizetype i = end; i > end - kLookBack; --i)
        if (endsLine(text.at(i - 1)))
            return i;
    for (qsizetype i = end; i > end - kLookBack; --i)
        if (text.at(i - 1).isSpace())
            return i;
    const qsizetype cut = ShownText::boundaryBefore(text, end);
    return cut > start ? cut : end;
}

// One character of the document for each of the text, so that positions map one to one within a
// block: the text's own line ends break lines inside the block, and marks the document would take
// as block or frame ends show as what they stand for.
QChar shownChar(const QString& text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
        return QChar(0x200B); // the line feed after it breaks the line
    if (endsLine(c))
        return QChar::LineSeparator;
    if (c == QChar(0xFDD0) || c == QChar(0xFDD1))
        return QChar::ReplacementCharacter;
    return c;
}
} // namespace

LongTextBox::LongTextBox(const QString& text, int lines, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_text(text)
    , m_lines(lines)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setBlocks();
    fitHeight();
}

void LongTextBox::fitHeight()
{
    const int margins = int(2 * document()->documentMargin()) + 2 * frameWidth();
    setFixedHeight(m_lines * fontMetrics().lineSpacing() + margins);
}

void LongTextBox::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitHeight();
}

void LongTextBox::setBlocks()
{
    QString shown;
    shown.reserve(m_text.size() + m_text.size() / kBlock + 1);
    for (qsizetype start = 0; start < m_text.size() || m_starts.isEmpty();) {
        const qsizetype end = pieceEnd(m_text, start);
        if (!m_starts.isEmpty())
            shown += QLatin1Char('\n');
        m_starts.append(start);
        const qsizetype at = shown.size();
        shown += QStringView(m_text).mid(start, end - start);
        QChar* piece = shown.data() + at;
        for (qsizetype i = start; i < end; ++i, ++piece)
            if (*piece < QChar(0x20) || piece->unicode() >= 0x2028)
                *piece = shownChar(m_text, i);
        start = end;
    }
    setPlainText(shown);
}

qsizetype LongTextBox::textPosition(int documentPosition) const
{
    const int block = qMax(0, document()->findBlock(documentPosition).blockNumber());
    return qBound(qsizetype(0), qsizetype(documentPosition) - block, m_text.size());
}

QString LongTextBox::selectedText() const
{
    const QTextCursor cursor = textCursor();
    const qsizetype from = textPosition(cursor.selectionStart());
    return m_text.mid(from, textPosition(cursor.selectionEnd()) - from);
}

QMimeData* LongTextBox::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    data->setText(selectedText());
    return data;
}
