#include "app/ui/shared/CountLabelDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QStyle>

CountLabelDelegate::CountLabelDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QString CountLabelDelegate::fitted(const QFontMetrics& fm, const QString& text, int width)
{
    if (fm.horizontalAdvance(text) <= width)
        return text;
    static const QRegularExpression counted(QStringLiteral("^(.*\\S)(\\((?:\\d+|\\?)\\))$"));
    const QRegularExpressionMatch m = counted.match(text);
    if (!m.hasMatch())
        return fm.elidedText(text, Qt::ElideMiddle, width);
    const QString count = m.captured(2);
    const QString name = fm.elidedText(m.captured(1), Qt::ElideRight, width - fm.horizontalAdvance(count));
    // With no room for a letter of the name, the ellipsis alone stands for it.
    return (name.isEmpty() ? QStringLiteral("\u2026") : name) + count;
}

void CountLabelDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->text.isEmpty() || option->rect.width() <= 0)
        return;
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    // The style draws the text inside the text rectangle, less a margin on each side.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, option, option->widget);
    option->text = fitted(option->fontMetrics, option->text, textRect.width() - 2 * margin);
}
