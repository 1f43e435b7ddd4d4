#include "calls_calendars/CalendarSyncRecords.h"

#include <QtTest>
#include <ctime>

namespace
{

PlistCFType str(const QString& s)
{
    return PlistCFType::createCFString(s);
}

PlistCFType arr(const QString& s)
{
    PlistCFType a = PlistCFType::createCFArray();
    a.append(str(s));
    return a;
}

PlistCFType eventRec(const QString& calendar, const QString& summary, QDateTime start)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put("summary", str(summary));
    r.put("calendar", arr(calendar));
    r.put("start date", PlistCFType::createCFDate(start));
    r.put("end date", PlistCFType::createCFDate(start.addSecs(3600)));
    return r;
}

} // namespace

class TestCalendarSyncRecords : public QObject
{
    Q_OBJECT
private slots:
    void identifiers_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("ok");
        QTest::newRow("event") << "2/17" << true;
        QTest::newRow("negative") << "-1/-4" << true;
        QTest::newRow("letters") << "2/abc" << false;
        QTest::newRow("hyphen") << "2-5" << false;
        QTest::newRow("blank") << " 2/5" << false;
    }
    void identifiers()
    {
        QFETCH(QString, id);
        QFETCH(bool, ok);
        QCOMPARE(CalendarSyncRecords::parseId(id, nullptr, nullptr), ok);
    }

    void readAndJoin()
    {
        // Summer time in a zone with it: the wall-clock reading must come back unchanged.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const QDateTime summer(QDate(2013, 7, 1), QTime(9, 0), Qt::LocalTime);
        PlistCFType batch = PlistCFType::createCFDictionary();
        PlistCFType cal = PlistCFType::createCFDictionary();
        cal.put("title", str("Home"));
        batch.put("1/3", cal);
        PlistCFType ev = eventRec("1/3", "Lunch", summer);
        ev.put("location", str("Cafe"));
        ev.put("all day", PlistCFType::createCFBoolean(true)); // a boolean is no integer
        batch.put("2/17", ev);
        batch.put("2/18", eventRec("1/99", "Orphan", summer)); // no such calendar
        batch.put("2/abc", eventRec("1/3", "Bad id", summer));
        batch.put("2/19", str("not a record"));
        PlistCFType rule = PlistCFType::createCFDictionary();
        rule.put("frequency", str("Weekly"));
        rule.put("interval", PlistCFType::createCFNumberInt32(2));
        rule.put("owner", arr("2/17"));
        batch.put("5/1", rule);
        PlistCFType lost = PlistCFType::clone(rule);
        lost.put("owner", arr("2/404"));
        batch.put("5/2", lost);
        CalendarSyncRecords reader;
        reader.readBatch(batch);
        const QList<_Calendar> cals = reader.join();
        qputenv("TZ", zone);
        tzset();
        QCOMPARE(cals.size(), 1);
        QCOMPARE(cals[0].src_id, QString("1/3"));
        QCOMPARE(cals[0].events.size(), 1);
        const _CalEvent& e = cals[0].events[0];
        QCOMPARE(e.summary, QString("Lunch\nCafe"));
        QCOMPARE(e.rrule, QString("FREQ=WEEKLY;INTERVAL=2"));
        QCOMPARE(e.all_day, 0);
        QCOMPARE(e.src_id, QString("2/17"));
        QCOMPARE(e.calendar_name, QString("Home"));
        QCOMPARE(e.start_date.time(), QTime(9, 0));
        QCOMPARE(e.start_date.date(), QDate(2013, 7, 1));
    }

    void writeRecords_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("location"); // "-" for none
        QTest::newRow("one line") << "Lunch"
                                  << "Lunch"
                                  << "-";
        QTest::newRow("four lines") << "Lunch\nRoom 4\n\nHall B"
                                    << "Lunch"
                                    << "Room 4  Hall B";
        QTest::newRow("trailing break") << "Lunch\n"
                                        << "Lunch"
                                        << "";
    }
    void writeRecords()
    {
        QFETCH(QString, summary);
        QFETCH(QString, title);
        QFETCH(QString, location);
        _CalEvent e;
        e.summary = summary;
        e.start_date = QDateTime(QDate(2013, 7, 1), QTime(9, 0), Qt::LocalTime);
        e.end_date = e.start_date.addSecs(60);
        const PlistCFType r = CalendarSyncRecords::eventRecord(e, "1/3");
        QCOMPARE(r.get("summary").CFStringQString(), title);
        QCOMPARE(r.get("location").isCFString(), location != "-");
        if (location != "-")
            QCOMPARE(r.get("location").CFStringQString(), location);
        QVERIFY(!r.get("all day").isCFNumber());
        QVERIFY(!r.get("description").isCFString());
        QCOMPARE(r.get("calendar").at(0).CFStringQString(), QString("1/3"));
        QCOMPARE(CalendarSyncRecords::wallClockDate(r.get("start date"), 0), e.start_date);
    }

    // A written wall-clock reading reads back unchanged around the summer-time changes of both
    // hemispheres, the repeated autumn hour and a midnight in a summer-time month included.
    void wallClockAcrossChanges_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("clock");
        QTest::newRow("new york fall-back midnight")
            << QByteArray("America/New_York") << QDateTime(QDate(2006, 10, 29), QTime(0, 0), Qt::UTC);
        QTest::newRow("new york repeated hour")
            << QByteArray("America/New_York") << QDateTime(QDate(2006, 10, 29), QTime(1, 30), Qt::UTC);
        QTest::newRow("new york march")
            << QByteArray("America/New_York") << QDateTime(QDate(2013, 3, 10), QTime(0, 0), Qt::UTC);
        QTest::newRow("berlin repeated hour")
            << QByteArray("Europe/Berlin") << QDateTime(QDate(2013, 10, 27), QTime(2, 30), Qt::UTC);
        QTest::newRow("berlin march")
            << QByteArray("Europe/Berlin") << QDateTime(QDate(2013, 3, 31), QTime(0, 0), Qt::UTC);
        QTest::newRow("sydney repeated hour")
            << QByteArray("Australia/Sydney") << QDateTime(QDate(2013, 4, 7), QTime(2, 30), Qt::UTC);
        QTest::newRow("sydney october")
            << QByteArray("Australia/Sydney") << QDateTime(QDate(2013, 10, 6), QTime(0, 0), Qt::UTC);
        QTest::newRow("kolkata") << QByteArray("Asia/Kolkata")
                                 << QDateTime(QDate(2013, 10, 27), QTime(0, 0), Qt::UTC);
    }
    void wallClockAcrossChanges()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, clock);
        const QByteArray saved = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        const PlistCFType date = PlistCFType::createCFDate(clock);
        const QDateTime wall = CalendarSyncRecords::wallClockDate(date, 0);
        const QDateTime utc = date.CFDateToUtcClock(0);
        qputenv("TZ", saved);
        tzset();
        QCOMPARE(wall.date(), clock.date());
        QCOMPARE(wall.time(), clock.time());
        QCOMPARE(utc, clock);
    }

    // An all-day or floating event is the device's wall-clock reading in every zone: held in UTC as
    // the backup reader holds it, and written back as the same reading.
    void floatingEventsRoundTrip_data()
    {
        QTest::addColumn<int>("allDay");
        QTest::addColumn<QString>("tz");
        QTest::addColumn<bool>("floating");
        QTest::newRow("all day") << 1 << "" << true;
        QTest::newRow("floating") << 0 << "_float" << true;
        QTest::newRow("timed") << 0 << "Europe/Berlin" << false;
    }
    void floatingEventsRoundTrip()
    {
        QFETCH(int, allDay);
        QFETCH(QString, tz);
        QFETCH(bool, floating);
        const QDateTime christmas(QDate(2005, 12, 25), QTime(0, 0), Qt::UTC);
        _CalEvent sent(0, 0, "Home");
        sent.summary = "Christmas Day";
        sent.all_day = allDay;
        sent.tz = tz;
        sent.start_date = christmas;
        sent.end_date = christmas.addSecs(86399);
        PlistCFType record = CalendarSyncRecords::eventRecord(sent, "1/3");
        QCOMPARE(record.get("start date").CFDateToDateTime(0).date(), QDate(2005, 12, 25));
        if (!tz.isEmpty())
            record.put("start date.timezone", str(tz));
        PlistCFType batch = PlistCFType::createCFDictionary();
        PlistCFType cal = PlistCFType::createCFDictionary();
        cal.put("title", str("Home"));
        batch.put("1/3", cal);
        batch.put("2/5", record);
        CalendarSyncRecords reader;
        reader.readBatch(batch);
        const _CalEvent back = reader.join().value(0).events.value(0);
        QCOMPARE(back.start_date.date(), QDate(2005, 12, 25));
        QCOMPARE(back.start_date.time(), QTime(0, 0));
        QCOMPARE(back.end_date.time(), QTime(23, 59, 59));
        QCOMPARE(back.start_date.timeSpec(), floating ? Qt::UTC : Qt::LocalTime);
        if (floating)
            QCOMPARE(back.toHash(), sent.toHash()); // the same event as the backup's
    }

    void recurrence_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("frequency"); // empty: no record
        QTest::addColumn<int>("interval");
        QTest::newRow("weekly 2") << "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO"
                                  << "weekly" << 2;
        QTest::newRow("no interval") << "FREQ=WEEKLY"
                                     << "weekly" << 1;
        QTest::newRow("no freq") << ";INTERVAL=3"
                                 << "" << 0;
        QTest::newRow("none") << ""
                              << "" << 0;
    }
    void recurrence()
    {
        QFETCH(QString, rule);
        QFETCH(QString, frequency);
        QFETCH(int, interval);
        _CalEvent e;
        e.rrule = rule;
        const PlistCFType r = CalendarSyncRecords::recurrenceRecord(e, "dev-2/-12");
        QCOMPARE(r.isCFDictionary(), !frequency.isEmpty());
        if (frequency.isEmpty())
            return;
        QCOMPARE(r.get("frequency").CFStringQString(), frequency);
        QCOMPARE(r.get("interval").CFNumberInt(0), interval);
        QCOMPARE(r.get("owner").at(0).CFStringQString(), QString("dev-2/-12"));
        QCOMPARE(r.dict_size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestCalendarSyncRecords)
#include "TestCalendarSyncRecords.moc"
