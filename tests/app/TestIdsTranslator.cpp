#include "app/IdsTranslator.h"

#include <QCoreApplication>
#include <QtTest>

class TestIdsTranslator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void translatesKeysFromAnyContext()
    {
        IdsTranslator translator;
        QVERIFY(translator.load(":/en.qm"));
        QCoreApplication::installTranslator(&translator);
        QCOMPARE(QCoreApplication::translate("MainWindow", "IDS_MI_EXIT"), QString("Exit"));
        QCOMPARE(QCoreApplication::translate("", "IDS_MI_EXIT"), QString("Exit"));
        // Unknown keys and plain English pass through unchanged.
        QCOMPARE(QCoreApplication::translate("MainWindow", "IDS_NO_SUCH_KEY"), QString("IDS_NO_SUCH_KEY"));
        QCOMPARE(QCoreApplication::translate("QObject", "Plain text"), QString("Plain text"));
        QCoreApplication::removeTranslator(&translator);
    }
};

QTEST_GUILESS_MAIN(TestIdsTranslator)
#include "TestIdsTranslator.moc"
