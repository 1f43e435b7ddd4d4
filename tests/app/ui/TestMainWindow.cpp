#include "app/ui/MainWindow.h"
#include "support/ui/GuiTestEnv.h"

#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void showsTitledWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.objectName(), QString("MainWindow"));
        GuiTestEnv::screenshot(&window, "main-window");
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
