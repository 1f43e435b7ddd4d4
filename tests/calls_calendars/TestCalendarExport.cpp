#include "calls_calendars/CalendarExport.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

using namespace CallsFixtures;

namespace
{

// Every event of a backup reader over the cache folder, in reader order.
QList<_CalEvent> eventsOf(const QString& cache)
{
    IOSCalendarDb db(nullptr, QDir(cache));
    QList<_CalEvent> events;
    for (const _Calendar& c : db.calendars())
        events += c.events;
    return events;
}

// Every event of the generated calendar database (the default set or another), in reader order.
QList<_CalEvent> generatedEvents(const QStringList& args = {})
{
    return eventsOf(cacheWith({ { IOSCalendarDb::kCalendarFile, makeCalendarDb(args) } }));
}

int writeAll(const QString& path, const QList<_CalEvent>& events)
{
    CalendarExport out(path, "Quillmarrow");
    out.init();
    int count = 0;
    for (const _CalEvent& e : events) {
        out.write(e);
        count += out.carries(e);
    }
    out.uninit();
    return count;
}

// Every event of the file as python3-icalendar reads it: dates and date-times in ISO form (a date
// alone, a date-time with its offset, or without one when floating); no "end" without DTEND.
const char* const kReadIcs = R"(
import icalendar, json, sys
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
out = []
for ev in cal.walk('VEVENT'):
    o = {'summary': str(ev.get('SUMMARY')), 'description': str(ev.get('DESCRIPTION')),
         'start': ev.decoded('DTSTART').isoformat(),
         'rrule': ev.get('RRULE').to_ical().decode() if ev.get('RRULE') else ''}
    if 'DTEND' in ev:
        o['end'] = ev.decoded('DTEND').isoformat()
    if ev.get('RRULE') and 'UNTIL' in ev.get('RRULE'):
        o['until'] = ev.get('RRULE')['UNTIL'][0].isoformat()
    out.append(o)
print(json.dumps(out))
)";

QJsonArray readIcs(const QString& path)
{
    return QJsonDocument::fromJson(runPython({ "-c", kReadIcs, path }).toUtf8()).array();
}

// Both readers over one file: {"icalendar": [...], "vobject": [...]}, each event with its summary,
// start, end (ISO dates) and rule; a reader that rejects the file fails the script.
const char* const kReadBoth = R"(
import icalendar, json, sys, vobject
text = open(sys.argv[1], encoding='utf-8').read()
def ical():
    return [{'summary': str(e.get('SUMMARY')), 'start': e.decoded('DTSTART').isoformat(),
             'end': e.decoded('DTEND').isoformat(),
             'rrule': e.get('RRULE').to_ical().decode() if e.get('RRULE') else ''}
            for e in icalendar.Calendar.from_ical(text).walk('VEVENT')]
def vobj():
    return [{'summary': e.summary.value, 'start': e.dtstart.value.isoformat(), 'end': e.dtend.value.isoformat(),
             'rrule': e.rrule.value if 'rrule' in e.contents else ''}
            for e in vobject.readOne(text).contents.get('vevent', [])]
print(json.dumps({'icalendar': ical(), 'vobject': vobj()}))
)";

// The events that both readers found in the file, by reader name; empty when a reader failed.
QMap<QString, QJsonArray> readBoth(const QString& path)
{
    const QJsonObject o = QJsonDocument::fromJson(runPython({ "-c", kReadBoth, path }).toUtf8()).object();
    QMap<QString, QJsonArray> byReader;
    for (const QString& reader : o.keys())
        byReader.insert(reader, o[reader].toArray());
    return byReader;
}

// The first event of that summary that a reader found.
QJsonObject eventNamed(const QJsonArray& events, const QString& summary)
{
    for (const QJsonValue& v : events)
        if (v.toObject()["summary"].toString() == summary)
            return v.toObject();
    return QJsonObject();
}

QString isoDay(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

_CalEvent floatingEvent(const QString& summary, const QDateTime& start, const QDateTime& end)
{
    _CalEvent e(0, 0, "Holidays");
    e.summary = summary;
    e.tz = _CalEvent::kFloatingTz;
    e.all_day = 1;
    e.start_date = start;
    e.end_date = end;
    return e;
}

} // namespace

class TestCalendarExport : public QObject
{
    Q_OBJECT
private slots:
    void icsReadsBack()
    {
        const QList<_CalEvent> events = generatedEvents();
        QCOMPARE(events.size(), 8);
        const QString path = TestEnv::tempDir() + "/events.ics";
        QCOMPARE(writeAll(path, events), 7); // the event without a start is left out
        const QJsonArray got = readIcs(path);
        QCOMPARE(got.size(), 7);
        for (const QJsonValue& v : got) {
            const QJsonObject o = v.toObject();
            QVERIFY2(o["start"].toString() < o["end"].toString(), qPrintable(o["summary"].toString()));
        }
        QCOMPARE(got[0].toObject()["summary"].toString(), QString("Dentist\nMain St. 4"));
        QCOMPARE(got[0].toObject()["start"].toString(), QString("2012-06-12T14:30:00+00:00"));
        QCOMPARE(got[0].toObject()["end"].toString(), QString("2012-06-12T15:00:00+00:00"));
        QCOMPARE(got[1].toObject()["summary"].toString(), QString("Weekly sync; team, all"));
        QCOMPARE(got[1].toObject()["description"].toString(), QString("Agenda:\nline two\\end"));
        QCOMPARE(got[1].toObject()["rrule"].toString(), QString("FREQ=WEEKLY;INTERVAL=2"));
        QCOMPARE(got[2].toObject()["start"].toString(), QString("2013-08-01"));
        QCOMPARE(got[2].toObject()["end"].toString(), QString("2013-08-02"));
        QCOMPARE(got[3].toObject()["summary"].toString(), QString("Free time"));
        QCOMPARE(got[4].toObject()["start"].toString(), QString("1969-07-20T20:17:00+00:00"));
        QVERIFY(got[4].toObject()["description"].toString().endsWith(QString(120, 'x')));
        QCOMPARE(got[5].toObject()["start"].toString(), QString("2040-01-02T08:00:00+00:00"));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(!text.contains('\r'));
        for (const QByteArray& line : text.split('\n'))
            QVERIFY2(line.size() <= 75, line.constData());
        QVERIFY(text.contains("DTSTAMP:20120612T000000Z\n"));
        QVERIFY(
            text.startsWith("BEGIN:VCALENDAR\nPRODID:-//Quillmarrow Ltd//Quillmarrow//EN\nVERSION:2.0\n"));
        QVERIFY(text.endsWith("END:VCALENDAR\n"));
    }

    void csvReadsBack()
    {
        const QString path = TestEnv::tempDir() + "/events.CSV";
        QCOMPARE(writeAll(path, generatedEvents()), 8); // the event without a start too
        const QString json = runPython({ "-c",
            "import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
            "encoding='utf-8')))))",
            path });
        const QJsonArray rows = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows[0].toArray().toVariantList(),
            QVariantList({ "Summary", "Start Date", "End Date", "RRule", "Description" }));
        QVERIFY(rows.contains(QJsonArray({ "No start", "", "", "", "" })));
        QCOMPARE(rows[2].toArray()[0].toString(), QString("Weekly sync; team, all"));
        QCOMPARE(rows[2].toArray()[3].toString(), QString("FREQ=WEEKLY;INTERVAL=2"));
        QCOMPARE(rows[2].toArray()[4].toString(), QString("Agenda:\nline two\\end"));
    }

    void emptyList()
    {
        const QString path = TestEnv::tempDir() + "/none.ics";
        QCOMPARE(writeAll(path, {}), 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 6);
    }

    void foldingKeepsCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QString(200, 'a');
        QTest::newRow("umlauts") << QString(100, QChar(0xFC));
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(40);
        QTest::newRow("1 MB, written whole") << QString(1 << 20, 'a');
    }
    void foldingKeepsCharacters()
    {
        QFETCH(QString, text);
        const QString folded = CalendarExport::foldLine("SUMMARY:" + text);
        for (const QString& line : folded.split('\n', Qt::SkipEmptyParts))
            QVERIFY(line.toUtf8().size() <= 75);
        QString unfolded = folded;
        unfolded.replace("\n ", "");
        QCOMPARE(unfolded, "SUMMARY:" + text + "\n");
    }

    // Floating all-day items around the summer-time changes of both hemispheres, and multi-day ones,
    // keep their own dates in both readers, whatever the zone this runs in.
    void allDayEventsKeepTheirDates()
    {
        const QList<_CalEvent> events = generatedEvents({ "--all-day" });
        QCOMPARE(events.size(), 24);
        const QString path = TestEnv::tempDir() + "/all-day.ics";
        QCOMPARE(writeAll(path, events), 24);
        const QMap<QString, QJsonArray> readers = readBoth(path);
        QCOMPARE(readers.keys(), QStringList({ "icalendar", "vobject" }));
        for (auto it = readers.cbegin(); it != readers.cend(); ++it) {
            QCOMPARE(it.value().size(), 24);
            for (const QJsonValue& v : it.value()) {
                const QJsonObject o = v.toObject();
                const QString summary = o["summary"].toString();
                if (!summary.startsWith("All day "))
                    continue;
                const QDate day = QDate::fromString(summary.mid(8), Qt::ISODate);
                QCOMPARE(o["start"].toString(), isoDay(day));
                QCOMPARE(o["end"].toString(), isoDay(day.addDays(1)));
            }
            const QJsonObject three = eventNamed(it.value(), "Three days");
            QCOMPARE(three["start"].toString(), QString("2013-08-01"));
            QCOMPARE(three["end"].toString(), QString("2013-08-04")); // 1, 2 and 3 August
            const QJsonObject two = eventNamed(it.value(), "Two days");
            QCOMPARE(two["start"].toString(), QString("2013-08-05"));
            QCOMPARE(two["end"].toString(), QString("2013-08-07")); // an end at midnight gains no day
            // A floating timed item keeps its wall-clock times, without a zone.
            const QJsonObject nine = eventNamed(it.value(), "Floating nine");
            QCOMPARE(nine["start"].toString(), QString("2013-09-01T09:00:00"));
            QCOMPARE(nine["end"].toString(), QString("2013-09-01T10:00:00"));
            QVERIFY2(nine["rrule"].toString().contains("MONTHLY"), qPrintable(it.key()));
        }
    }

    // The real holidays of otapki's calendar, every one marked free, on their own dates.
    void realHolidaysKeepTheirDates()
    {
        QM_REQUIRE_SHARED();
        const QString cache = otapkiCalendarCache();
        QVERIFY(!cache.isEmpty());
        const QList<_CalEvent> events = eventsOf(cache);
        QCOMPARE(events.size(), 130);
        const QString path = TestEnv::tempDir() + "/holidays.ics";
        QCOMPARE(writeAll(path, events), 130);
        const QMap<QString, QJsonArray> readers = readBoth(path);
        QCOMPARE(readers.size(), 2);
        const QList<QStringList> expected { { QString::fromUtf8("New Year\u2019s Day"), "2005-01-01",
                                                "2005-01-02" },
            { "Christmas Day", "2005-12-25", "2005-12-26" },
            { "Daylight Saving Time Begins", "2005-03-13", "2005-03-14" },
            { "Daylight Saving Time Ends", "2005-11-06", "2005-11-07" } };
        for (const QJsonArray& found : readers) {
            QCOMPARE(found.size(), 130);
            for (const QStringList& day : expected) {
                const QJsonObject o = eventNamed(found, day[0]);
                QCOMPARE(o["start"].toString(), day[1]);
                QCOMPARE(o["end"].toString(), day[2]);
            }
        }
        QFile ics(path);
        QVERIFY(ics.open(QIODevice::ReadOnly));
        const QByteArray text = ics.readAll();
        QVERIFY(text.contains("DTSTART;VALUE=DATE:20051225\n"));
        QVERIFY(text.contains("DTSTART;VALUE=DATE:20050101\n"));

        const QString csvPath = TestEnv::tempDir() + "/holidays.csv";
        writeAll(csvPath, events);
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QString christmas = QLocale::system().toString(QDate(2005, 12, 25), QLocale::ShortFormat);
        QVERIFY(
            QString::fromUtf8(csv.readAll()).contains("Christmas Day," + christmas + "," + christmas + ","));
    }

    // Timed events carry their times as UTC date-times (a floating one as its wall-clock reading),
    // all-day ones their dates; a date UNTIL of a timed rule becomes the end of that day. Read back
    // with python3-icalendar; the suite runs in several zones.
    void timesReadBack_data()
    {
        QTest::addColumn<_CalEvent>("event");
        QTest::addColumn<QString>("lines"); // DTSTART, DTEND (if any) and RRULE (if any), "|"-joined
        QTest::addColumn<QString>("start"); // as python3-icalendar reads them
        QTest::addColumn<QString>("end"); // empty: no DTEND
        QTest::addColumn<QString>("until"); // empty: no UNTIL
        auto timed = [](const QDateTime& utcStart, qint64 length, const QString& rule = QString()) {
            _CalEvent e = floatingEvent("x", utcStart.toLocalTime(), utcStart.addSecs(length).toLocalTime());
            e.tz = "Europe/Berlin";
            e.all_day = 0;
            e.rrule = rule;
            return e;
        };
        const QDateTime dentist(QDate(2012, 6, 12), QTime(14, 30), Qt::UTC);
        QTest::newRow("afternoon") << timed(dentist, 1800)
                                   << "DTSTART:20120612T143000Z|DTEND:20120612T150000Z"
                                   << "2012-06-12T14:30:00+00:00"
                                   << "2012-06-12T15:00:00+00:00"
                                   << "";
        const QDateTime change(QDate(2013, 3, 30), QTime(23, 30), Qt::UTC);
        QTest::newRow("over midnight and summer time")
            << timed(change, 7200) << "DTSTART:20130330T233000Z|DTEND:20130331T013000Z"
            << "2013-03-30T23:30:00+00:00"
            << "2013-03-31T01:30:00+00:00"
            << "";
        const QDateTime moon(QDate(1969, 7, 20), QTime(20, 17), Qt::UTC);
        QTest::newRow("before 1970") << timed(moon, 2580) << "DTSTART:19690720T201700Z|DTEND:19690720T210000Z"
                                     << "1969-07-20T20:17:00+00:00"
                                     << "1969-07-20T21:00:00+00:00"
                                     << "";
        const QDateTime future(QDate(2040, 1, 2), QTime(8, 0), Qt::UTC);
        QTest::newRow("after 2038") << timed(future, 3600)
                                    << "DTSTART:20400102T080000Z|DTEND:20400102T090000Z"
                                    << "2040-01-02T08:00:00+00:00"
                                    << "2040-01-02T09:00:00+00:00"
                                    << "";
        _CalEvent noEnd = timed(dentist, 0);
        noEnd.end_date = QDateTime();
        QTest::newRow("no end") << noEnd << "DTSTART:20120612T143000Z"
                                << "2012-06-12T14:30:00+00:00"
                                << ""
                                << "";
        QTest::newRow("end at start") << timed(dentist, 0) << "DTSTART:20120612T143000Z"
                                      << "2012-06-12T14:30:00+00:00"
                                      << ""
                                      << "";
        QTest::newRow("end before start") << timed(dentist, -60) << "DTSTART:20120612T143000Z"
                                          << "2012-06-12T14:30:00+00:00"
                                          << ""
                                          << "";
        _CalEvent floating = floatingEvent("x", QDateTime(QDate(2013, 9, 1), QTime(9, 0), Qt::UTC),
            QDateTime(QDate(2013, 9, 1), QTime(10, 0), Qt::UTC));
        floating.all_day = 0;
        floating.rrule = "FREQ=MONTHLY;UNTIL=20131201";
        QTest::newRow("floating, until")
            << floating
            << "DTSTART:20130901T090000|DTEND:20130901T100000|RRULE:FREQ=MONTHLY;UNTIL=20131201T235959"
            << "2013-09-01T09:00:00"
            << "2013-09-01T10:00:00"
            << "2013-12-01T23:59:59";
        const QDateTime lastDay = QDateTime(QDate(2013, 4, 1), QTime(23, 59, 59)).toUTC();
        QTest::newRow("weekly until a day")
            << timed(change, 3600, "FREQ=WEEKLY;UNTIL=20130401")
            << "DTSTART:20130330T233000Z|DTEND:20130331T003000Z|RRULE:FREQ=WEEKLY;UNTIL="
                + lastDay.toString("yyyyMMdd'T'HHmmss'Z'")
            << "2013-03-30T23:30:00+00:00"
            << "2013-03-31T00:30:00+00:00" << lastDay.toString(Qt::ISODate).replace("Z", "+00:00");
        QTest::newRow("until a time stays")
            << timed(change, 3600, "FREQ=DAILY;UNTIL=20130402T100000Z")
            << "DTSTART:20130330T233000Z|DTEND:20130331T003000Z|RRULE:FREQ=DAILY;UNTIL=20130402T100000Z"
            << "2013-03-30T23:30:00+00:00"
            << "2013-03-31T00:30:00+00:00"
            << "2013-04-02T10:00:00+00:00";
        _CalEvent allDay = floatingEvent("x", QDateTime(QDate(2013, 8, 1), QTime(0, 0), Qt::UTC),
            QDateTime(QDate(2013, 8, 1), QTime(23, 59, 59), Qt::UTC));
        allDay.rrule = "FREQ=YEARLY;UNTIL=20200801";
        QTest::newRow("all day, until")
            << allDay
            << "DTSTART;VALUE=DATE:20130801|DTEND;VALUE=DATE:20130802|RRULE:FREQ=YEARLY;UNTIL=20200801"
            << "2013-08-01"
            << "2013-08-02"
            << "2020-08-01";
    }
    void timesReadBack()
    {
        QFETCH(_CalEvent, event);
        QFETCH(QString, lines);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, until);
        QStringList written;
        for (const QString& line : CalendarExport::vevent(event).split('\n'))
            if (line.startsWith("DTSTART") || line.startsWith("DTEND") || line.startsWith("RRULE"))
                written.append(line);
        QCOMPARE(written.join('|'), lines);

        const QString path = TestEnv::tempDir() + "/times.ics";
        QCOMPARE(writeAll(path, { event }), 1);
        const QJsonArray got = readIcs(path);
        QCOMPARE(got.size(), 1);
        const QJsonObject o = got[0].toObject();
        QCOMPARE(o["start"].toString(), start);
        QCOMPARE(o.contains("end"), !end.isEmpty());
        QCOMPARE(o["end"].toString(), end);
        QCOMPARE(o["until"].toString(), until);
    }

    // DTEND is exclusive: the day after the date of end - 1 s, at least the day after the start.
    void dateEnds_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QString>("dtend");
        const QDateTime aug1(QDate(2013, 8, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("three days") << aug1 << QDateTime(QDate(2013, 8, 3), QTime(23, 59, 59), Qt::UTC)
                                    << "20130804";
        QTest::newRow("end at midnight") << aug1 << aug1.addDays(3) << "20130804";
        QTest::newRow("one day") << aug1 << QDateTime(QDate(2013, 8, 1), QTime(23, 59, 59), Qt::UTC)
                                 << "20130802";
        QTest::newRow("no length") << aug1 << aug1 << "20130802";
        QTest::newRow("end before start") << aug1 << aug1.addDays(-2) << "20130802";
        QTest::newRow("no end") << aug1 << QDateTime() << "20130802";
        const QDateTime afternoon(QDate(2013, 8, 1), QTime(14, 30), Qt::LocalTime);
        QTest::newRow("same-day hours") << afternoon << afternoon.addSecs(1800) << "20130802";
        // Local midnight, also on the long autumn day of zones with summer time.
        const QDateTime midnight(QDate(2013, 10, 27), QTime(0, 0), Qt::LocalTime);
        QTest::newRow("local midnight")
            << midnight << QDateTime(QDate(2013, 10, 28), QTime(0, 0), Qt::LocalTime) << "20131028";
    }
    void dateEnds()
    {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QString, dtend);
        const QString text = CalendarExport::vevent(floatingEvent("x", start, end));
        QVERIFY2(text.contains("DTSTART;VALUE=DATE:" + start.date().toString("yyyyMMdd") + "\n"),
            qPrintable(text));
        QVERIFY2(text.contains("DTEND;VALUE=DATE:" + dtend + "\n"), qPrintable(text));
    }

    void recurValue_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("value"); // empty: left out
        QTest::newRow("weekly") << "FREQ=WEEKLY;INTERVAL=2"
                                << "FREQ=WEEKLY;INTERVAL=2";
        QTest::newRow("lower case") << "freq=daily"
                                    << "FREQ=DAILY";
        QTest::newRow("outer blanks") << " FREQ=DAILY\r\n"
                                      << "FREQ=DAILY";
        QTest::newRow("full")
            << "FREQ=MONTHLY;BYDAY=MO,-1FR,+2SU;BYMONTH=1,12;WKST=MO;UNTIL=20140101T000000Z"
            << "FREQ=MONTHLY;BYDAY=MO,-1FR,+2SU;BYMONTH=1,12;WKST=MO;UNTIL=20140101T000000Z";
        QTest::newRow("until date") << "FREQ=YEARLY;UNTIL=20140228"
                                    << "FREQ=YEARLY;UNTIL=20140228";
        QTest::newRow("until no such day") << "FREQ=YEARLY;UNTIL=20140229"
                                           << "";
        QTest::newRow("numbers") << "FREQ=YEARLY;BYYEARDAY=-366;BYSETPOS=1;BYWEEKNO=53;COUNT=3"
                                 << "FREQ=YEARLY;BYYEARDAY=-366;BYSETPOS=1;BYWEEKNO=53;COUNT=3";
        QTest::newRow("line break") << "FREQ=DAILY\r\nBEGIN:VEVENT\r\nSUMMARY:evil"
                                    << "";
        QTest::newRow("no freq") << ";INTERVAL=3"
                                 << "";
        QTest::newRow("interval 0") << "FREQ=DAILY;INTERVAL=0"
                                    << "";
        QTest::newRow("unknown freq") << "FREQ=FORTNIGHTLY"
                                      << "";
        QTest::newRow("unknown part") << "FREQ=DAILY;X-NAME=1"
                                      << "";
        QTest::newRow("twice") << "FREQ=DAILY;FREQ=WEEKLY"
                               << "";
        QTest::newRow("until and count") << "FREQ=DAILY;COUNT=2;UNTIL=20140101"
                                         << "";
        QTest::newRow("empty part") << "FREQ=DAILY;;INTERVAL=2"
                                    << "";
        QTest::newRow("month 13") << "FREQ=YEARLY;BYMONTH=13"
                                  << "";
        QTest::newRow("bad weekday") << "FREQ=WEEKLY;BYDAY=XX"
                                     << "";
        QTest::newRow("week 54") << "FREQ=MONTHLY;BYDAY=54MO"
                                 << "";
        QTest::newRow("semicolon in value") << "FREQ=DAILY;INTERVAL=2\\;3"
                                            << "";
        QTest::newRow("prefix") << "RRULE:FREQ=DAILY"
                                << "";
    }
    void recurValue()
    {
        QFETCH(QString, rule);
        QFETCH(QString, value);
        QCOMPARE(CalendarExport::recurValue(rule), value);
    }

    // A rule that is no RECUR value is left out of its event; every event still reads back.
    void hostileRuleNeverBreaksTheFile()
    {
        const QDateTime day(QDate(2013, 3, 31), QTime(0, 0), Qt::UTC);
        QList<_CalEvent> events;
        const QStringList rules { "FREQ=WEEKLY;INTERVAL=2", "FREQ=DAILY\r\nBEGIN:VEVENT\r\nSUMMARY:evil",
            "FREQ=DAILY\nEND:VCALENDAR", "FREQ=DAILY;INTERVAL=0", "FREQ=YEARLY;BYMONTH=3" };
        for (int i = 0; i < rules.size(); ++i) {
            events.append(
                floatingEvent(QString("Event %1").arg(i), day.addDays(i), day.addDays(i + 1).addSecs(-1)));
            events.last().rrule = rules[i];
        }
        const QString path = TestEnv::tempDir() + "/hostile.ics";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("repeat rule .* left out"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("repeat rule .* left out"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("repeat rule .* left out"));
        QCOMPARE(writeAll(path, events), 5);
        const QMap<QString, QJsonArray> readers = readBoth(path);
        QCOMPARE(readers.size(), 2);
        for (const QJsonArray& found : readers) {
            QCOMPARE(found.size(), 5);
            for (int i = 0; i < found.size(); ++i) {
                const QJsonObject o = found[i].toObject();
                QCOMPARE(o["summary"].toString(), QString("Event %1").arg(i));
                QCOMPARE(o["start"].toString(), isoDay(day.date().addDays(i)));
                QCOMPARE(o["rrule"].toString().isEmpty(), i >= 1 && i <= 3);
            }
        }
    }

    void escaping()
    {
        QCOMPARE(CalendarExport::escapeText("a\\b;c,d\ne\r\nf"), QString("a\\\\b\\;c\\,d\\ne\\nf"));
    }
};

QTEST_GUILESS_MAIN(TestCalendarExport)
#include "TestCalendarExport.moc"
