#include "messages/store/MsgText.h"
#include "messages/ui/ExportLocalTime.h"

#include <QtTest>
#include <ctime>

// The cached local times agree with dtFromDate21, across daylight-saving changes too.
class TestExportLocalTime : public QObject
{
    Q_OBJECT
    QByteArray savedZone;

private Q_SLOTS:
    void initTestCase() { savedZone = qgetenv("TZ"); }
    void cleanupTestCase()
    {
        qputenv("TZ", savedZone);
        tzset();
    }

    void sameAsModel_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("utc") << QByteArray("UTC");
        QTest::newRow("berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("lord howe half hour") << QByteArray("Australia/Lord_Howe");
        QTest::newRow("kathmandu") << QByteArray("Asia/Kathmandu");
        QTest::newRow("new york") << QByteArray("America/New_York");
    }
    void sameAsModel()
    {
        QFETCH(QByteArray, zone);
        qputenv("TZ", zone);
        tzset();
        ExportLocalTime cache;
        // Every 7 minutes over two years, both changes of each year included; and the wrap of
        // dates past 2037 as the stored 32-bit values do.
        for (int date = 599616000; date < 599616000 + 2 * 366 * 86400; date += 420) {
            const QString expected = dtFromDate21(date).toString("yyyy-MM-dd hh:mm:ss");
            QCOMPARE(cache.stamp(date), expected);
            QCOMPARE(cache.minuteText(date), dtFromDate21(date).toString("dd MMM yyyy hh:mm AP"));
        }
        QCOMPARE(cache.stamp(-1), dtFromDate21(-1).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(cache.stamp(2100000000), dtFromDate21(2100000000).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(ExportLocalTime::unixTime(0), qint64(978307200));
    }

    // The stamps' own calendar arithmetic over every year the 32-bit dates reach (2001 to 2137):
    // leap days, the century 2100 that is not a leap year, the ends of the range.
    void stampOverWholeRange_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("utc") << QByteArray("UTC");
        QTest::newRow("kathmandu") << QByteArray("Asia/Kathmandu");
        QTest::newRow("honolulu") << QByteArray("Pacific/Honolulu");
    }
    void stampOverWholeRange()
    {
        QFETCH(QByteArray, zone);
        qputenv("TZ", zone);
        tzset();
        ExportLocalTime cache;
        auto same = [&](qint64 date) {
            const int d = int(qint32(quint32(quint64(date))));
            QCOMPARE(cache.stamp(d), dtFromDate21(d).toString("yyyy-MM-dd hh:mm:ss"));
            QCOMPARE(cache.minuteText(d), dtFromDate21(d).toString("dd MMM yyyy hh:mm AP"));
        };
        for (qint64 date = 0; date <= 0xFFFFFFFFLL; date += 86400LL * 9 + 3607)
            same(date);
        for (const char* day : { "2004-02-28", "2004-02-29", "2004-03-01", "2100-02-28", "2100-03-01",
                 "2001-01-01", "2137-02-07", "2024-12-31" }) {
            const qint64 start
                = QDateTime(QDate::fromString(day, Qt::ISODate), QTime(0, 0), Qt::UTC).toSecsSinceEpoch()
                - 978307200;
            for (qint64 s = start - 7200; s < start + 86400 + 7200; s += 1799)
                same(s);
        }
        same(0xFFFFFFFFLL);
    }
};

QTEST_GUILESS_MAIN(TestExportLocalTime)
#include "TestExportLocalTime.moc"
