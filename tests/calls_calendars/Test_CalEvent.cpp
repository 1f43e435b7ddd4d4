#include "calls_calendars/_Calendar.h"

#include <QCryptographicHash>
#include <QtTest>

class Test_CalEvent : public QObject
{
    Q_OBJECT
private slots:
    void ruleDict_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("pairs");
        QTest::newRow("weekly") << "FREQ=WEEKLY;INTERVAL=2"
                                << "FREQ:WEEKLY,INTERVAL:2";
        QTest::newRow("lower") << "freq=daily"
                               << "FREQ:DAILY";
        QTest::newRow("interval only") << ";INTERVAL=3"
                                       << "INTERVAL:3";
        QTest::newRow("empty value") << "FREQ=;INTERVAL=2"
                                     << "INTERVAL:2";
        QTest::newRow("two equals") << "X=Y=Z"
                                    << "X:Y";
        QTest::newRow("prefix") << "RRULE:FREQ=DAILY"
                                << "RRULE:FREQ:DAILY";
        QTest::newRow("byday") << "BYDAY=mo"
                               << "BYDAY:MO";
        QTest::newRow("empty") << ""
                               << "";
    }
    void ruleDict()
    {
        QFETCH(QString, rule);
        QFETCH(QString, pairs);
        _CalEvent e;
        e.rrule = rule;
        QStringList got;
        const QMap<QString, QString> map = e.ruleDict();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            got << it.key() + ":" + it.value();
        QStringList want = pairs.isEmpty() ? QStringList() : pairs.split(',');
        want.sort();
        QCOMPARE(got, want);
    }

    void hash()
    {
        _CalEvent a;
        a.start_date = QDateTime::fromSecsSinceEpoch(-2, Qt::UTC);
        a.summary = "Lunch\nCafe";
        const QByteArray input = QByteArray::fromHex("FEFFFFFF") + "Lunch";
        QCOMPARE(a.toHash(), QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
        _CalEvent b = a;
        b.summary = "Lunch\nElsewhere";
        b.rrule = "FREQ=DAILY";
        QCOMPARE(a.toHash(), b.toHash());
        b.summary = "\nLunch";
        QCOMPARE(b.toHash(),
            QCryptographicHash::hash(QByteArray::fromHex("FEFFFFFF"), QCryptographicHash::Md5).toHex());
        _CalEvent none;
        QCOMPARE(none.toHash(), _CalEvent().toHash()); // a missing start hashes alike each time
    }

    void orders()
    {
        QList<_Calendar> cals { _Calendar(1, "work"), _Calendar(2, "Home"), _Calendar(3, "birthdays") };
        std::sort(cals.begin(), cals.end(), compareCalendarLess);
        QCOMPARE(cals[0].name, QString("birthdays"));
        QCOMPARE(cals[1].name, QString("Home"));
        _CalEvent early;
        early.start_date = QDateTime::fromSecsSinceEpoch(1);
        _CalEvent late;
        late.start_date = QDateTime::fromSecsSinceEpoch(2);
        QVERIFY(compareCalEventLess(late, early));
        QVERIFY(!compareCalEventLess(early, early));
    }
};

QTEST_GUILESS_MAIN(Test_CalEvent)
#include "Test_CalEvent.moc"
