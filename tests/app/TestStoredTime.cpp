#include "app/MacEpoch.h"
#include "app/StoredTime.h"
#include "app/sqlite/Sqlite3DB.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <sqlite3.h>

// Every stored form a date or duration column may hold, as the readers meet them: integers,
// reals, numbers written as text, and what is no number at all.
class TestStoredTime : public QObject
{
    Q_OBJECT
    Sqlite3DB m_db;

    Sqlite3Cursor value(const QString& literal)
    {
        Sqlite3Cursor c = m_db.queryThrow(QStringLiteral("select %1").arg(literal));
        c.moveNext();
        return c;
    }

private slots:
    void initTestCase()
    {
        m_db.openThrow(TestEnv::tempDir() + "/values.db", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    }

    void convertsOrRefuses_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<qint64>("epoch");
        QTest::addColumn<QString>("date"); // ISO in UTC; empty for no value
        QTest::addColumn<int>("duration"); // -1 for no value

        QTest::newRow("unix integer") << "1400000000" << qint64(0) << "2014-05-13T16:53:20Z" << 1400000000;
        QTest::newRow("2001 real, fraction dropped")
            << "612345678.75" << kMacEpochOffset << "2020-05-28T08:01:18Z" << 612345678;
        QTest::newRow("before 2001") << "-631152000" << kMacEpochOffset << "1981-01-01T00:00:00Z" << -1;
        QTest::newRow("negative fraction rounds down") << "-0.5" << qint64(0) << "1969-12-31T23:59:59Z" << -1;
        QTest::newRow("number as text") << "' 86400 '" << qint64(0) << "1970-01-02T00:00:00Z" << 86400;
        QTest::newRow("last second of 9999") << "253402300799" << qint64(0) << "9999-12-31T23:59:59Z" << -1;
        QTest::newRow("year 10000") << "253402300800" << qint64(0) << "" << -1;
        QTest::newRow("largest integer") << "9223372036854775807" << kMacEpochOffset << "" << -1;
        QTest::newRow("smallest integer") << "-9223372036854775808" << kMacEpochOffset << "" << -1;
        QTest::newRow("1e300") << "1e300" << kMacEpochOffset << "" << -1;
        QTest::newRow("-1e300") << "-1e300" << kMacEpochOffset << "" << -1;
        QTest::newRow("text") << "'abc'" << qint64(0) << "" << -1;
        QTest::newRow("blank text") << "'  '" << qint64(0) << "" << -1;
        QTest::newRow("null") << "NULL" << qint64(0) << "" << -1;
        QTest::newRow("blob") << "x'0102'" << qint64(0) << "" << -1;
        QTest::newRow("zero duration") << "0" << qint64(0) << "1970-01-01T00:00:00Z" << 0;
        QTest::newRow("real duration") << "61.9" << qint64(0) << "1970-01-01T00:01:01Z" << 61;
        QTest::newRow("largest duration")
            << "2147483647" << qint64(0) << "2038-01-19T03:14:07Z" << 2147483647;
        QTest::newRow("duration past 32 bits") << "1e12" << qint64(0) << "" << -1;
        QTest::newRow("negative duration") << "-5" << qint64(0) << "1969-12-31T23:59:55Z" << -1;
    }
    void convertsOrRefuses()
    {
        QFETCH(QString, literal);
        QFETCH(qint64, epoch);
        QFETCH(QString, date);
        QFETCH(int, duration);
        const Sqlite3Cursor c = value(literal);
        const QDateTime got = StoredTime::date(c, 0, epoch);
        if (date.isEmpty()) {
            QVERIFY2(!got.isValid(), qPrintable(got.toString(Qt::ISODate)));
        } else {
            QVERIFY(got.isValid());
            QCOMPARE(got.timeSpec(), Qt::UTC);
            QCOMPARE(got.toString(Qt::ISODate), date);
        }
        const std::optional<int> d = StoredTime::duration(c, 0);
        QCOMPARE(d.has_value(), duration >= 0);
        if (d)
            QCOMPARE(*d, duration);
    }

    void noRowAndMissingColumnAreNoValue()
    {
        Sqlite3Cursor c = m_db.queryThrow("select 1 where 0");
        QVERIFY(!c.moveNext());
        QVERIFY(!StoredTime::seconds(c, 0));
        const Sqlite3Cursor one = value("5");
        QVERIFY(!StoredTime::seconds(one, 3));
        QVERIFY(!StoredTime::date(std::nullopt, 0).isValid());
    }
};

QTEST_GUILESS_MAIN(TestStoredTime)
#include "TestStoredTime.moc"
