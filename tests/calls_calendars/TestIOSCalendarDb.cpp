#include "backup/BackupManifest.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace CallsFixtures;

class TestIOSCalendarDb : public QObject
{
    Q_OBJECT
private slots:
    void generatedCalendars()
    {
        const QString file = makeCalendarDb();
        QVERIFY(!file.isEmpty());
        const QDir cache(cacheWith({ { IOSCalendarDb::kCalendarFile, file } }));
        IOSCalendarDb db(nullptr, cache);
        const QList<_Calendar> cals = db.calendars();
        QCOMPARE(cals.size(), 2);
        QCOMPARE(cals[0].name, QString("Work"));
        QCOMPARE(cals[1].name, QString("home"));
        QCOMPARE(cals[0].events.size(), 4); // the free item too; the birthday and the reminder are left out
        QCOMPARE(cals[1].events.size(), 4); // the item with two rules once
        QCOMPARE(db.total(), 8);

        const _CalEvent& dentist = cals[0].events[0];
        QCOMPARE(dentist.summary, QString("Dentist\nMain St. 4"));
        QCOMPARE(dentist.start_date.toUTC(), QDateTime(QDate(2012, 6, 12), QTime(14, 30), Qt::UTC));
        QCOMPARE(dentist.tz, QString("Europe/Berlin"));
        QCOMPARE(cals[0].events[1].rrule, QString("FREQ=WEEKLY;INTERVAL=2"));
        const _CalEvent& holiday = cals[0].events[2];
        QCOMPARE(holiday.all_day, 1);
        // A floating item is its wall-clock reading in every zone, never converted to local time.
        QCOMPARE(holiday.start_date.date(), QDate(2013, 8, 1));
        QCOMPARE(holiday.start_date.time(), QTime(0, 0));
        QCOMPARE(holiday.end_date.time(), QTime(23, 59));

        const _CalEvent& moon = cals[1].events[0];
        QCOMPARE(moon.start_date.toUTC(), QDateTime(QDate(1969, 7, 20), QTime(20, 17), Qt::UTC));
        const _CalEvent& future = cals[1].events[1];
        QCOMPARE(future.start_date.toUTC(), QDateTime(QDate(2040, 1, 2), QTime(8, 0), Qt::UTC));
        QCOMPARE(future.summary, QString("Far future\nHall B"));
        QCOMPARE(future.rrule, QString("FREQ=YEARLY;INTERVAL=1"));
        QCOMPARE(cals[1].events[2].rrule, QString("FREQ=DAILY;INTERVAL=1"));
        QVERIFY(cals[1].events[3].start_date.isNull()); // a NULL start stays "none"
    }

    // Every holiday of the real calendar is marked free, and every one is listed on its own day.
    void otapkiHolidaysOnTheirDays()
    {
        QM_REQUIRE_SHARED();
        IOSCalendarDb db(nullptr, QDir(otapkiCalendarCache()));
        QCOMPARE(db.total(), 130);
        QMap<QString, QDate> days;
        int listed = 0;
        for (const _Calendar& c : db.calendars()) {
            listed += c.events.size();
            for (const _CalEvent& e : c.events)
                if (e.start_date.date().year() == 2005)
                    days.insert(e.summary, e.start_date.date());
        }
        QCOMPARE(listed, 130);
        QCOMPARE(days.value("Christmas Day"), QDate(2005, 12, 25));
        QCOMPARE(days.value(QString::fromUtf8("New Year\u2019s Day")), QDate(2005, 1, 1));
        QCOMPARE(days.value("Daylight Saving Time Begins"), QDate(2005, 3, 13));
        QCOMPARE(days.value("Daylight Saving Time Ends"), QDate(2005, 11, 6));
    }

    void otherGeneration_data()
    {
        QTest::addColumn<bool>("real");
        QTest::newRow("generated") << false;
        QTest::newRow("mvt") << true;
    }
    void otherGeneration()
    {
        QFETCH(bool, real);
        QString file;
        if (real) {
            QM_REQUIRE_SHARED();
            file = TestEnv::realFixture("mvt/ios_backup/20/2041457d5fe04d39d0ab481178355df6781e6858");
        } else {
            file = makeCalendarDb({ "--no-calendar-table" });
        }
        const QDir cache(cacheWith({ { IOSCalendarDb::kCalendarFile, file } }));
        IOSCalendarDb db(nullptr, cache);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.calendars());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.total()); // so the tree counts 0
    }

    void noCalendarRecord()
    {
        BackupManifest manifest(TestEnv::tempDir());
        IOSCalendarDb db(&manifest, QDir(TestEnv::tempDir()));
        try {
            db.total();
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QString("Cannot find Calendar.sqlitedb"));
        }
    }
};

QTEST_GUILESS_MAIN(TestIOSCalendarDb)
#include "TestIOSCalendarDb.moc"
