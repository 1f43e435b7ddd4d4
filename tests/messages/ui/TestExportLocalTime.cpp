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
        }
        QCOMPARE(cache.stamp(-1), dtFromDate21(-1).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(cache.stamp(2100000000), dtFromDate21(2100000000).toString("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(ExportLocalTime::unixTime(0), qint64(978307200));
    }
};

QTEST_GUILESS_MAIN(TestExportLocalTime)
#include "TestExportLocalTime.moc"
