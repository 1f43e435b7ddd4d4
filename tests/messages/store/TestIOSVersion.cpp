#include "messages/store/IOSVersion.h"

#include <QtTest>

class TestIOSVersion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseCompareAndPrint()
    {
        QCOMPARE(_IOSVersion("5.1").compare(_IOSVersion("5.1.0")), -1);
        QCOMPARE(_IOSVersion("10.0").compare(_IOSVersion("9.3.5")), 1);
        QCOMPARE(_IOSVersion("6.1.3").compare(_IOSVersion("6.1.3")), 0);
        QCOMPARE(_IOSVersion("5.1").compare(_IOSVersion("5.3")), -2);
        QCOMPARE(_IOSVersion("iOS 007.01").toString(), QString("7.1"));
        QCOMPARE(_IOSVersion("").toString(), QString());
        QCOMPARE(_IOSVersion("iPhone OS 4.3 (8F190)")._parts, QList<int>({ 4, 3, 8, 190 }));
        QCOMPARE(_IOSVersion("99999999999.1")._parts, QList<int>({ 0, 1 }));
    }
};

QTEST_GUILESS_MAIN(TestIOSVersion)
#include "TestIOSVersion.moc"
