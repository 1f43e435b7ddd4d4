#include "calls_calendars/CalendarExport.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace CallsFixtures;

namespace
{

// Every event of the generated calendar database, in reader order.
QList<_CalEvent> generatedEvents()
{
    IOSCalendarDb db(nullptr, QDir(cacheWith({ { IOSCalendarDb::kCalendarFile, makeCalendarDb() } })));
    QList<_CalEvent> events;
    for (const _Calendar& c : db.calendars())
        events += c.events;
    return events;
}

int writeAll(const QString& path, const QList<_CalEvent>& events)
{
    CalendarExport out(path, "Quillmarrow");
    out.init();
    int count = 0;
    for (const _CalEvent& e : events) {
        out.write(e);
        count += CalendarExport::accepts(e);
    }
    out.uninit();
    return count;
}

const char* const kReadIcs = R"(
import icalendar, json, sys
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
out = []
for ev in cal.walk('VEVENT'):
    out.append({'summary': str(ev.get('SUMMARY')), 'description': str(ev.get('DESCRIPTION')),
                'start': ev.decoded('DTSTART').isoformat(), 'end': ev.decoded('DTEND').isoformat(),
                'rrule': ev.get('RRULE').to_ical().decode() if ev.get('RRULE') else ''})
print(json.dumps(out))
)";

} // namespace

class TestCalendarExport : public QObject
{
    Q_OBJECT
private slots:
    void icsReadsBack()
    {
        const QList<_CalEvent> events = generatedEvents();
        QCOMPARE(events.size(), 7);
        const QString path = TestEnv::tempDir() + "/events.ics";
        QCOMPARE(writeAll(path, events), 6); // the event without a start is left out
        const QJsonArray got = QJsonDocument::fromJson(runPython({ "-c", kReadIcs, path }).toUtf8()).array();
        QCOMPARE(got.size(), 6);
        for (const QJsonValue& v : got) {
            const QJsonObject o = v.toObject();
            QVERIFY2(o["start"].toString() < o["end"].toString(), qPrintable(o["summary"].toString()));
        }
        QCOMPARE(got[0].toObject()["summary"].toString(), QString("Dentist\nMain St. 4"));
        QCOMPARE(got[0].toObject()["start"].toString(), QString("2012-06-12"));
        QCOMPARE(got[0].toObject()["end"].toString(), QString("2012-06-13"));
        QCOMPARE(got[1].toObject()["summary"].toString(), QString("Weekly sync; team, all"));
        QCOMPARE(got[1].toObject()["description"].toString(), QString("Agenda:\nline two\\end"));
        QCOMPARE(got[1].toObject()["rrule"].toString(), QString("FREQ=WEEKLY;INTERVAL=2"));
        QCOMPARE(got[3].toObject()["start"].toString(), QString("1969-07-20"));
        QVERIFY(got[3].toObject()["description"].toString().endsWith(QString(120, 'x')));
        QCOMPARE(got[4].toObject()["start"].toString(), QString("2040-01-02"));

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
        QCOMPARE(writeAll(path, generatedEvents()), 6);
        const QString json = runPython({ "-c",
            "import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
            "encoding='utf-8')))))",
            path });
        const QJsonArray rows = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(rows.size(), 7);
        QCOMPARE(rows[0].toArray().toVariantList(),
            QVariantList({ "Summary", "Start Date", "End Date", "RRule", "Description" }));
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

    void escaping()
    {
        QCOMPARE(CalendarExport::escapeText("a\\b;c,d\ne\r\nf"), QString("a\\\\b\\;c\\,d\\ne\\nf"));
    }
};

QTEST_GUILESS_MAIN(TestCalendarExport)
#include "TestCalendarExport.moc"
