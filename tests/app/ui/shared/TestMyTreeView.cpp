#include "app/ui/shared/MyTreeView.h"

#include <QContextMenuEvent>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

class TestMyTreeView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reEmitsSelectionChanges()
    {
        QStandardItemModel model;
        model.appendRow(new QStandardItem("one"));
        model.appendRow(new QStandardItem("two"));
        MyTreeView view;
        view.setModel(&model);
        QSignalSpy spy(&view, &MyTreeView::onSelectionChanged);
        view.selectionModel()->select(model.index(0, 0), QItemSelectionModel::ClearAndSelect);
        view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::ClearAndSelect);
        QCOMPARE(spy.size(), 2);
        const auto selected = spy.at(1).at(0).value<QItemSelection>();
        const auto deselected = spy.at(1).at(1).value<QItemSelection>();
        QVERIFY(selected.contains(model.index(1, 0)));
        QVERIFY(deselected.contains(model.index(0, 0)));
        // The base handling still ran: the view's own selection follows.
        QCOMPARE(view.selectionModel()->selectedIndexes(), QModelIndexList({ model.index(1, 0) }));
    }

    void announcesContextMenu()
    {
        MyTreeView view;
        QSignalSpy spy(&view, &MyTreeView::createContextMenu);
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, QPoint(5, 5), view.viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view.viewport(), &event);
        QCOMPARE(spy.size(), 1);
    }
};

QTEST_MAIN(TestMyTreeView)
#include "TestMyTreeView.moc"
