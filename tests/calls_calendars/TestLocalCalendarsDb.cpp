#include "calls_calendars/LocalCalendarsDb.h"
#include "support/TestEnv.h"

#include <QtTest>

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

} // namespace

class TestLocalCalendarsDb : public QObject
{
    Q_OBJECT
private slots:
    void newFileHasUrl()
    {
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        QCOMPARE(db.total(), 0);
        QCOMPARE(db.db.tbCols("events").last().name, QString("url"));
        QCOMPARE(LocalCalendarsDb("/proc/nope/calendars.db").total(), 0);
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

    void datesKeepTheirRange_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::newRow("1969") << QDateTime(QDate(1969, 7, 20), QTime(20, 17), Qt::UTC);
        QTest::newRow("1901") << QDateTime(QDate(1850, 1, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("2040") << QDateTime(QDate(2040, 1, 2), QTime(8, 0), Qt::UTC);
        QTest::newRow("epoch") << QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
        QTest::newRow("none") << QDateTime();
    }
    void datesKeepTheirRange()
    {
        QFETCH(QDateTime, start);
        LocalCalendarsDb db(TestEnv::tempDir() + "/calendars.db");
        db.saveEvent(0, makeEvent("c", start, "x"), nullptr);
        const _CalEvent back = db.calendars().first().events.first();
        QCOMPARE(back.start_date.isValid(), start.isValid());
        if (start.isValid())
            QCOMPARE(back.start_date.toUTC(), start);
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
        db.deleteDbFile();
        db.deleteDbFile(); // no file: only closes
        QCOMPARE(db.calendars().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLocalCalendarsDb)
#include "TestLocalCalendarsDb.moc"
