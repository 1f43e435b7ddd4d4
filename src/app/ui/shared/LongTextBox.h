#pragma once

#include <QList>
#include <QPlainTextEdit>

// A long text shown read-only in a box a few lines high that scrolls. The text is laid out in
// blocks of a few thousand characters, so that showing it costs the lines in view: one block of a
// megabyte is laid out whole, and for a text without blanks in a time that grows with its square.
// The cuts between blocks break the lines on the screen only: what the user copies is the text.
class LongTextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    // The most characters (UTF-16 units) of one block.
    static constexpr qsizetype kBlock = 2000;

    LongTextBox(const QString& text, int lines, QWidget* parent = nullptr);

    // The whole text, as given.
    const QString& text() const { return m_text; }
    // The part of the text that the selection covers.
    QString selectedText() const;

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void changeEvent(QEvent* event) override;

private:
    // The text's position of a position of the document, whose blocks are the text's pieces.
    qsizetype textPosition(int documentPosition) const;
    void setBlocks();
    // As high as m_lines lines of the font it has now (a style sheet sets it when shown).
    void fitHeight();

    QString m_text;
    int m_lines;
    QList<qsizetype> m_starts; // where each block's piece begins in the text
};
