#include "app/ui/shared/WinMovable.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QtTest>

class TestWinMovable : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dragsWindowByPointerOffset()
    {
        QDialog window;
        window.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        window.resize(300, 200);
        window.move(100, 100);
        new WinMovable(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();

        QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
        // QTest::mouseMove does not carry the pressed button offscreen, so send the move directly.
        const QPoint localMoved(50, 40);
        QMouseEvent move(QEvent::MouseMove, localMoved, window.mapToGlobal(localMoved), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QCOMPARE(window.pos(), start + QPoint(40, 30));
        QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(50, 40));

        // After the release, moves no longer drag.
        const QPoint after = window.pos();
        QMouseEvent idle(QEvent::MouseMove, QPoint(80, 80), window.mapToGlobal(QPoint(80, 80)), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &idle);
        QCOMPARE(window.pos(), after);
    }

    void showsCentredOverItsWindow_data()
    {
        QTest::addColumn<bool>("parented");
        QTest::newRow("parent inside a window") << true;
        QTest::newRow("no parent, the program's window shown") << false;
    }
    void showsCentredOverItsWindow()
    {
        QFETCH(bool, parented);
        QMainWindow main;
        auto* page = new QWidget(&main);
        main.setCentralWidget(page);
        main.setGeometry(300, 200, 800, 600);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QDialog dialog(parented ? page : nullptr);
        dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        dialog.resize(300, 100);
        new WinMovable(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY2((dialog.frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <= 2,
            qPrintable(QString("%1,%2").arg(dialog.x()).arg(dialog.y())));
    }

    void rightButtonDoesNotDrag()
    {
        QDialog window;
        window.move(100, 100);
        new WinMovable(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();
        QTest::mousePress(&window, Qt::RightButton, {}, QPoint(10, 10));
        QMouseEvent move(QEvent::MouseMove, QPoint(60, 60), window.mapToGlobal(QPoint(60, 60)), Qt::NoButton,
            Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QCOMPARE(window.pos(), start);
    }

    void destroyedWithItsWindow()
    {
        QPointer<WinMovable> filter;
        {
            QDialog window;
            filter = new WinMovable(&window);
            QVERIFY(filter);
        }
        QVERIFY(!filter);
    }
};

QTEST_MAIN(TestWinMovable)
#include "TestWinMovable.moc"
