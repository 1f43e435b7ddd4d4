#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <stdexcept>

namespace
{

_CalEvent makeEvent(const QString& calendar, const QDateTime& start, const QString& summary)
{
    _CalEvent e(0, 0, calendar);
    e.start_date = start;
    e.end_date = start.isValid() ? start.addSecs(3600) : QDateTime();
    e.summary = summary;
    return e;
}

// The summaries of every event of the calendars.
QStringList summaries(const QList<_Calendar>& calendars)
{
    QStringList out;
    for (const _Calendar& c : calendars)
        for (const _CalEvent& e : c.events)
            out.append(e.summary);
    return out;
}

// Saves every event in one edit; the number of them that the store already held.
int saveAll(LocalCalendarsDb& db, const QList<_CalEvent>& events)
{
    int existing = 0;
    db.beginEdit();
    for (const _CalEvent& e : events) {
        bool existed = false;
        db.saveEvent(0, e, &existed);
        existing += existed;
    }
    db.endEdit(true);
    return existing;
}

} // namespace

class TestLocalCalendarsDb : public QObject
{
    Q_OBJECT
    QString m_availabilityCache;

private slots:
    // An event of every availability (busy, free, tentative, unavailable) is listed and counted by
    // the backup reader and kept by the local store; birthdays and reminders of each stay out.
    void everyAvailabilityListed_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("listed");
        for (const char* name : { "Busy", "Free", "Tentative", "Unavailable" }) {
            QTest::addRow("%s", name) << QString(name) << true;
            QTest::addRow("birthday, %s", name) << QString("Birthday ") + name << false;
            QTest::addRow("reminder, %s", name) << QString("Reminder ") + name << false;
        }
    }
    void everyAvailabilityListed()
    {
        QFETCH(QString, summary);
        QFETCH(bool, listed);
        if (m_availabilityCache.isEmpty())
            m_availabilityCache = CallsFixtures::cacheWith(
                { { IOSCalendarDb::kCalendarFile, CallsFixtures::makeCalendarDb({ "--availability" }) } });
        IOSCalendarDb reader(nullptr, QDir(m_availabilityCache));
        const QList<_Calendar> read = reader.calendars();
        QCOMPARE(reader.total(), 4);
        QCOMPARE(summaries(read).contains(summary), listed);

        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        QList<_CalEvent> events;
        for (const _Calendar& c : read)
            events += c.events;
        QCOMPARE(saveAll(db, events), 0);
        QCOMPARE(db.total(), 4);
        QCOMPARE(summaries(db.calendars()).contains(summary), listed);
    }

    void newFileHasUrl()
    {
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        QCOMPARE(db.total(), 0);
        QCOMPARE(db.db.tbCols("events").last().name, QString("url"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, LocalCalendarsDb("/proc/nope/calendars.db").total());
        // An empty file, as a making that a kill or a full disk stopped leaves, is made a store.
        const QString empty = TestEnv::tempDir() + "/empty.db";
        QVERIFY(QFile(empty).open(QIODevice::WriteOnly));
        LocalCalendarsDb made(empty);
        made.open();
        QCOMPARE(made.db.tbCols("events").last().name, QString("url"));
    }

    void saveMergesByHash()
    {
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        const QDateTime start(QDate(2013, 3, 4), QTime(9, 0), Qt::UTC);
        _CalEvent a = makeEvent("Work", start, "Sync\nRoom 4");
        a.reminders.append(_CalEventReminder(0, 0));
        a.reminders[0].minutes = 15;
        bool existed = true;
        db.beginEdit();
        const qint64 id = db.saveEvent(0, a, &existed);
        QVERIFY(!existed);
        QCOMPARE(db.saveEvent(0, makeEvent("WORK", start, "Sync\nother room"), &existed), id);
        QVERIFY(existed);
        db.endEdit(true);
        const QList<_Calendar> cals = db.calendars();
        QCOMPARE(cals.size(), 1);
        QCOMPARE(cals[0].events.size(), 1);
        QCOMPARE(cals[0].events[0].reminders.size(), 1);
        QCOMPARE(cals[0].events[0].reminders[0].minutes, 15);
    }

    void namesAreNoPatterns()
    {
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        const qint64 underscore = db.getCalendarOrAdd("a_c", "");
        QVERIFY(db.getCalendarOrAdd("abc", "") != underscore);
        QVERIFY(db.getCalendarOrAdd("%", "") != underscore);
        QCOMPARE(db.getCalendarOrAdd("A_C", "1/9"), underscore);
    }

    // Dates after 1970 keep their value, after 2038 too; the epoch and before read as no date.
    void datesKeepTheirRange_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("kept");
        QTest::newRow("1969") << QDateTime(QDate(1969, 7, 20), QTime(20, 17), Qt::UTC) << false;
        QTest::newRow("1901") << QDateTime(QDate(1850, 1, 1), QTime(0, 0), Qt::UTC) << false;
        QTest::newRow("2040") << QDateTime(QDate(2040, 1, 2), QTime(8, 0), Qt::UTC) << true;
        QTest::newRow("epoch") << QDateTime::fromSecsSinceEpoch(0, Qt::UTC) << false;
        QTest::newRow("epoch + 1 s") << QDateTime::fromSecsSinceEpoch(1, Qt::UTC) << true;
        QTest::newRow("none") << QDateTime() << false;
    }
    void datesKeepTheirRange()
    {
        QFETCH(QDateTime, start);
        QFETCH(bool, kept);
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        db.saveEvent(0, makeEvent("c", start, "x"), nullptr);
        const _CalEvent back = db.calendars().first().events.first();
        QCOMPARE(back.start_date.isValid(), kept);
        if (kept)
            QCOMPARE(back.start_date.toUTC(), start);
    }

    // Stored values not greater than 0, NULL included, are no date: never 1970 or 1969.
    void nonPositiveIsNoDate_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("date");
        QTest::newRow("null") << "NULL" << false;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("-100") << "-100" << false;
        QTest::newRow("32-bit low") << "-2147483648" << false;
        QTest::newRow("one") << "1" << true;
    }
    void nonPositiveIsNoDate()
    {
        QFETCH(QString, stored);
        QFETCH(bool, date);
        for (const char* tz : { "", "_float" }) {
            LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
            const qint64 cal = db.getCalendarOrAdd("c", "");
            db.db.executeThrow(QString("insert into events(calendar_id,tz,start_date,end_date,summary,hash) "
                                       "values(%1,'%2',%3,%3,'x','h')")
                                   .arg(cal)
                                   .arg(tz, stored));
            const _CalEvent back = db.calendars().first().events.first();
            QCOMPARE(back.start_date.isValid(), date);
            QCOMPARE(back.end_date.isValid(), date);
            if (date)
                QCOMPARE(back.start_date.toSecsSinceEpoch(), qint64(1));
            db.deleteDbFile();
        }
    }

    // Floating events keep the device's seconds in the store and read back as the same wall-clock
    // reading; saving them again, or what was read back, adds nothing in any zone.
    void floatingEventsSaveOnce_data()
    {
        QTest::addColumn<QString>("source"); // "generated" or the real calendar
        QTest::addColumn<QString>("summary");
        QTest::addColumn<qint64>("deviceSecs"); // the item's start_date, since 2001
        QTest::addColumn<QDate>("day");
        QTest::newRow("three days") << "generated"
                                    << "Three days" << qint64(397008000) << QDate(2013, 8, 1);
        QTest::newRow("berlin spring") << "generated"
                                       << "All day 2013-03-31" << qint64(386380800) << QDate(2013, 3, 31);
        QTest::newRow("christmas") << "otapki"
                                   << "Christmas Day" << qint64(157161600) << QDate(2005, 12, 25);
    }
    void floatingEventsSaveOnce()
    {
        QFETCH(QString, source);
        QFETCH(QString, summary);
        QFETCH(qint64, deviceSecs);
        QFETCH(QDate, day);
        QString cache;
        if (source == "otapki") {
            QM_REQUIRE_SHARED();
            cache = CallsFixtures::otapkiCalendarCache();
        } else {
            cache = CallsFixtures::cacheWith(
                { { IOSCalendarDb::kCalendarFile, CallsFixtures::makeCalendarDb({ "--all-day" }) } });
        }
        QList<_CalEvent> events;
        for (const _Calendar& c : IOSCalendarDb(nullptr, QDir(cache)).calendars())
            events += c.events;
        QVERIFY(!events.isEmpty());
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        QCOMPARE(saveAll(db, events), 0);
        QCOMPARE(saveAll(db, events), int(events.size()));

        Sqlite3Sql find("select start_date from events where summary=?");
        find.addTextParam(summary);
        Sqlite3Cursor c = db.db.queryThrow(find);
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64(0), deviceSecs + 978307200);

        QList<_CalEvent> back;
        for (const _Calendar& cal : db.calendars())
            back += cal.events;
        QCOMPARE(back.size(), events.size());
        for (const _CalEvent& e : back) {
            if (e.summary != summary)
                continue;
            QCOMPARE(e.start_date.date(), day);
            QCOMPARE(e.start_date.time(), QTime(0, 0));
        }
        QCOMPARE(saveAll(db, back), int(back.size()));
    }

    void deleteRemovesEmptyCalendars()
    {
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        const qint64 id = db.saveEvent(0, makeEvent("one", QDateTime::fromSecsSinceEpoch(100), "x"), nullptr);
        db.saveEvent(0, makeEvent("two", QDateTime::fromSecsSinceEpoch(100), "x"), nullptr);
        db.getCalendarOrAdd("empty", "1/3");
        db.beginEdit();
        db.deleteEvent(id);
        db.endEdit(true);
        const QList<_Calendar> cals = db.calendars();
        QCOMPARE(cals.size(), 1);
        QCOMPARE(cals[0].name, QString("two"));
        // A journal a kill left goes with the store: it would be played into the next one.
        QFile left(db.path + "-journal");
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write("left") == 4);
        left.close();
        db.deleteDbFile();
        QVERIFY(!QFile::exists(db.path) && !QFile::exists(db.path + "-journal"));
        db.deleteDbFile(); // no file: only closes
        QCOMPARE(db.calendars().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLocalCalendarsDb)
#include "TestLocalCalendarsDb.moc"
