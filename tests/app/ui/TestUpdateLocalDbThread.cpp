#include "app/DataPaths.h"
#include "app/ui/UpdateLocalDbThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCalendarsDb.h"

#include <QFile>
#include <QtTest>

class TestUpdateLocalDbThread : public QObject
{
    Q_OBJECT

    static void touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old layout");
    }

private Q_SLOTS:
    void init() { QDir(g_localDbDir().absolutePath()).removeRecursively(); }

    void currentLayoutNeedsNothing()
    {
        g_localDbDir().mkpath("Work");
        touch(g_localDbDir().absoluteFilePath("Work/contacts.db"));
        QVERIFY(UpdateLocalDbThread::firstFolderToUpdate().isEmpty());
    }

    // This build has no converter for the old files: they stay untouched and no progress dialog
    // is asked for at every start.
    void oldFilesWithoutConverterAreKept()
    {
        g_localDbDir().mkpath("Old/attachments");
        touch(g_localDbDir().absoluteFilePath("Old/mms.db"));
        QVERIFY(UpdateLocalDbThread::firstFolderToUpdate().isEmpty());

        ProgressForm form;
        form.setCancelable(false);
        UpdateLocalDbThread thread(form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        QVERIFY(thread.wait(10000));
        QVERIFY(QFile::exists(g_localDbDir().absoluteFilePath("Old/mms.db")));
        QVERIFY(QDir(g_localDbDir().absoluteFilePath("Old/attachments")).exists());
    }

    // An old calendar.db becomes events of the calendar store; the old file goes only after that.
    void oldCalendarConverted_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("old layout") << false;
        QTest::newRow("damaged") << true;
    }
    void oldCalendarConverted()
    {
        QFETCH(bool, damaged);
        g_localDbDir().mkpath("Old");
        const QString old = g_localDbDir().absoluteFilePath("Old/calendar.db");
        if (damaged) {
            touch(old);
        } else {
            Sqlite3DB db;
            db.openThrow(old, 6);
            db.executeThrow(
                "create table calendar (_id INTEGER PRIMARY KEY, all_day INTEGER, start_date INTEGER, "
                "end_date INTEGER, tz TEXT, summary TEXT, description TEXT, freq INTEGER, "
                "freq_interval INTEGER);"
                "insert into calendar values(1,0,-14182940,-14179340,'UTC','Moon','',0,0);"
                "insert into calendar values(2,1,1370000000,1370086400,'UTC','Gym','x',2,3);");
            // An empty journal a kill left: it goes with the old store, never into a later one.
            QFile journal(old + "-journal");
            QVERIFY(journal.open(QIODevice::WriteOnly));
        }
        QCOMPARE(UpdateLocalDbThread::firstFolderToUpdate(), g_localDbDir().absoluteFilePath("Old"));
        ProgressForm form;
        form.setQuiet(true);
        form.setCancelable(false);
        UpdateLocalDbThread thread(form);
        thread.start();
        QCOMPARE(form.exec(), damaged ? 0 : 1);
        QVERIFY(thread.wait(10000));
        QCOMPARE(QFile::exists(old), damaged);
        if (damaged)
            return;
        QVERIFY(!QFile::exists(old + "-journal"));
        LocalCalendarsDb store(g_localDbDir().absoluteFilePath("Old/calendars.db"));
        const QList<_Calendar> cals = store.calendars();
        QCOMPARE(cals.size(), 1);
        QCOMPARE(cals[0].name, QString("DEFAULT_CALENDAR_NAME"));
        QCOMPARE(cals[0].events.size(), 2);
        // A start before 1970 keeps its stored value but reads back as no date.
        QVERIFY(!cals[0].events[0].start_date.isValid());
        Sqlite3Cursor moon = store.db.queryThrow("select start_date from events where summary='Moon'");
        QVERIFY(moon.moveNext());
        QCOMPARE(moon.getInt64(0), qint64(-14182940));
        QCOMPARE(cals[0].events[1].rrule, QString("FREQ=WEEKLY;INTERVAL=3"));
    }

    // Called on its own: an old file without its table throws, stores no event, keeps the file.
    void calendarConversionFailsWhole()
    {
        const QDir dir(g_localDbDir().absoluteFilePath("Half"));
        QVERIFY(dir.mkpath("."));
        {
            Sqlite3DB db;
            db.openThrow(dir.absoluteFilePath("calendar.db"), 6);
            db.executeThrow("create table other (x INTEGER)");
        }
        QVERIFY_THROWS_EXCEPTION(std::exception, UpdateLocalDbThread::updateCalendarDbThrow(dir));
        QVERIFY(dir.exists("calendar.db"));
        LocalCalendarsDb store(dir.absoluteFilePath("calendars.db"));
        int events = 0;
        for (const _Calendar& c : store.calendars())
            events += c.events.size();
        QCOMPARE(events, 0);
    }
};

QTEST_MAIN(TestUpdateLocalDbThread)
#include "TestUpdateLocalDbThread.moc"
