#include "calls_calendars/_CallHistory.h"

#include <QCryptographicHash>
#include <QtTest>

class Test_CallHistory : public QObject
{
    Q_OBJECT
private slots:
    void hashInput_data()
    {
        QTest::addColumn<qint64>("secs");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("example") << 1000000000LL << "abc" << 5
                                 << QByteArray::fromHex("00CA9A3B61626305000000");
        QTest::newRow("before 1970") << -1LL << "" << 4 << QByteArray::fromHex("FFFFFFFF04000000");
        QTest::newRow("after 2038") << 2147483648LL << "1" << 8 << QByteArray::fromHex("000000803108000000");
    }
    void hashInput()
    {
        QFETCH(qint64, secs);
        QFETCH(QString, address);
        QFETCH(int, flags);
        QFETCH(QByteArray, input);
        _CallHistory c;
        c.date = QDateTime::fromMSecsSinceEpoch(secs * 1000 + (secs < 0 ? -900 : 900));
        c.address = address;
        c.flags = CallHistoryFlag(flags);
        QCOMPARE(c.toHash(), QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
    }

    void otherFieldsDoNotCount()
    {
        _CallHistory a;
        a.date = QDateTime::fromSecsSinceEpoch(5);
        a.address = "1";
        a.flags = CallFlagIncoming;
        _CallHistory b = a;
        b.duration = 99;
        b.person = "Pat";
        b.unique_id = "x";
        QCOMPARE(a.toHash(), b.toHash());
        b.date = b.date.addSecs(1);
        QVERIFY(a.toHash() != b.toHash());
        QVERIFY(!compareCallByDateLess(a, a));
        QVERIFY(compareCallByDateLess(b, a));
    }

    void defaults()
    {
        const _CallHistory c;
        QCOMPARE(c.read, 1);
        QCOMPARE(c.answered, 1);
        QCOMPARE(c.call_type, 1);
        QCOMPARE(c.availability, 0);
        QCOMPARE(c.z_pk, 0);
        QVERIFY(c.date.isNull());
    }
};

QTEST_GUILESS_MAIN(Test_CallHistory)
#include "Test_CallHistory.moc"
