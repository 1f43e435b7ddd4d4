#include "app/ui/support/MainWindowTree.h"

#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageRead.h"

#include <QAction>
#include <QTest>

namespace MainWindowTree
{

bool listedRead(const MainWindow& w)
{
    return QTest::qWaitFor([&w] { return !w.readingListedBackups(); }, 10000);
}

bool select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
{
    click(w, node);
    return pageRead(w);
}

void click(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
{
    w.ui->treeBK->setCurrentIndex(w.model().indexOfItemNode(node));
}

bool pageRead(const MainWindow& w, int ms)
{
    return QTest::qWaitFor(
        [&w] {
            const QWidget* page = w.currentPage();
            return page && page->objectName() != QLatin1String("PendingPage") && !PageRead::readingIn(page);
        },
        ms);
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
