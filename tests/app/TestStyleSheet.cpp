#include "app/StyleSheet.h"

#include <QtTest>

class TestStyleSheet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsTheApplicationSheetOnce()
    {
        const QString sheet = getStyleSheet();
        QVERIFY(!sheet.isEmpty());
        for (const char* selector : { "#MainWindow", "#treeBK", "#wdMain", "#ProgressForm", "#TipsBox" })
            QVERIFY2(sheet.contains(selector), selector);
        QCOMPARE(getStyleSheet(), sheet);
        // Both spellings of the resource path reach the same file.
        QVERIFY(QFile::exists(":res/style.css"));
        QVERIFY(QFile::exists(":/res/style.css"));
    }
};

QTEST_GUILESS_MAIN(TestStyleSheet)
#include "TestStyleSheet.moc"
