#include "support/ui/PaintedTexts.h"

#include <QStyledItemDelegate>
#include <QTest>
#include <QTreeView>

namespace
{
// The views' own delegate, noting the texts it is about to draw.
class TextProbe : public QStyledItemDelegate
{
public:
    mutable qsizetype longest = 0;
    mutable int cells = 0;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        longest = qMax(longest, option->text.size());
        ++cells;
    }
};
} // namespace

qsizetype PaintedTexts::longest(QAbstractItemModel* model)
{
    QTreeView view;
    TextProbe probe;
    view.setItemDelegate(&probe);
    view.setModel(model);
    view.expandAll();
    view.resize(900, 300);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return -1;
    view.viewport()->repaint();
    view.setItemDelegate(nullptr);
    return probe.cells > 0 ? probe.longest : -1;
}
