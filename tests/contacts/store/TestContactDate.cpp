#include "contacts/store/ContactDate.h"

#include <QtTest>
#include <ctime>

class TestContactDate : public QObject
{
    Q_OBJECT
private slots:
    void textFromSecs2001_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("epoch") << QByteArray("UTC") << qint64(0);
        QTest::newRow("before 2001") << QByteArray("UTC") << qint64(-631152000);
        QTest::newRow("far before") << QByteArray("UTC") << qint64(-3000000000LL);
        QTest::newRow("after 2038") << QByteArray("UTC") << qint64(2200000000LL);
        QTest::newRow("new york summer") << QByteArray("America/New_York") << qint64(200000000);
        QTest::newRow("new york winter") << QByteArray("America/New_York") << qint64(-650937600);
        QTest::newRow("kolkata") << QByteArray("Asia/Kolkata") << qint64(12345);
        QTest::newRow("year 10000") << QByteArray("UTC") << qint64(253402300800LL - 978307200LL);
        QTest::newRow("last second of 9999") << QByteArray("UTC") << qint64(253402300799LL - 978307200LL);
    }
    void textFromSecs2001()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, seconds);
        const QByteArray old = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        // The same text in every zone, and back to the same number as the device sync reads it.
        const QDateTime utc = QDateTime::fromSecsSinceEpoch(ContactDate::kEpoch2001 + seconds, Qt::UTC);
        const QString expected = utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        const QString text = ContactDate::textFromSecs2001(seconds);
        const QDateTime back = ContactDate::clockAsUtc(text);
        qputenv("TZ", old);
        tzset();
        QCOMPARE(text, expected);
        if (utc.date().year() <= 9999)
            QCOMPARE(back.toSecsSinceEpoch() - ContactDate::kEpoch2001, seconds);
    }

    void clockAsUtc()
    {
        QCOMPARE(ContactDate::clockAsUtc("1980-05-17").toSecsSinceEpoch(), qint64(327369600));
        QCOMPARE(ContactDate::clockAsUtc("1980-05-17T00:00:00+02:00").toSecsSinceEpoch(), qint64(327369600));
        QVERIFY(!ContactDate::clockAsUtc("17.05.1980").isValid());
        QVERIFY(!ContactDate::secs2001Fits32(ContactDate::clockAsUtc("1901-01-01")));
        QVERIFY(ContactDate::secs2001Fits32(ContactDate::clockAsUtc("1933-01-01")));
    }
};

QTEST_GUILESS_MAIN(TestContactDate)
#include "TestContactDate.moc"
