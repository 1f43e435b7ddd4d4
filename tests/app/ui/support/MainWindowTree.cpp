#include "app/ui/support/MainWindowTree.h"

#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"

#include <QAction>
#include <QTest>

namespace MainWindowTree
{

bool listedRead(const MainWindow& w)
{
    return QTest::qWaitFor([&w] { return !w.readingListedBackups(); }, 10000);
}

void select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
{
    w.ui->treeBK->setCurrentIndex(w.model().indexOfItemNode(node));
}

QStringList texts(const QList<AbsTreeItemModel::_ItemNode*>& nodes)
{
    QStringList list;
    for (const auto* n : nodes)
        list << n->text;
    return list;
}

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList list;
    for (const QAction* a : actions)
        list << (a->isSeparator() ? QString("|") : a->text());
    return list;
}

} // namespace MainWindowTree
