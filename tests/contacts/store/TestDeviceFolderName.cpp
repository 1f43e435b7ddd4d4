#include "contacts/store/DeviceFolderName.h"

#include <QtTest>

class TestDeviceFolderName : public QObject
{
    Q_OBJECT
private slots:
    void fromDeviceName_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "Ann's iPhone"
                               << "Ann's iPhone";
        QTest::newRow("unsafe removed") << "A/B\\C:D*E?F\"G<H>I|J\nK\tL\rM"
                                        << "ABCDEFGHIJKLM";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("only unsafe") << "///"
                                     << "";
        QTest::newRow("dot") << "."
                             << "";
        QTest::newRow("dot dot") << ".."
                                 << "";
        QTest::newRow("dot dot after removal") << "./."
                                               << "";
        QTest::newRow("leading dot") << ".hidden"
                                     << "";
        QTest::newRow("parent path") << "../../etc"
                                     << "";
        QTest::newRow("inner dots kept") << "my.phone"
                                         << "my.phone";
    }
    void fromDeviceName()
    {
        QFETCH(QString, device);
        QFETCH(QString, folder);
        QCOMPARE(DeviceFolderName::fromDeviceName(device), folder);
    }
};

QTEST_GUILESS_MAIN(TestDeviceFolderName)
#include "TestDeviceFolderName.moc"
