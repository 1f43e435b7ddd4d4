// Times what the user waits for on the call-history and calendar pages, each against a reference
// in the same run:
//   read   a generated CallHistory.storedata of N calls into the page's model, against the sqlite3
//          command line selecting the same rows (goal: at most 2 x);
//   save   those calls into a fresh local store through the saving thread, against sqlite3 copying
//          the same rows with INSERT ... SELECT (goal: at most 5 x);
//   ics    the iCalendar export of M events through the export thread, against python3-icalendar
//          writing the same events (goal: at most 0.2 x).
//
//   bench_calls_calendars [--calls N] [--events M]
#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ui/BackupCallsThread.h"
#include "calls_calendars/ui/ExportCalendarThread.h"
#include "calls_calendars/ui/ItemModelCall.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace
{

QString python()
{
    return QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

bool run(const QString& program, const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    if (!out)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForFinished(-1);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

double seconds(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e9;
}

void runQuiet(QThread& thread, ProgressForm& form)
{
    form.setQuiet(true);
    thread.start();
    form.exec();
    thread.wait();
}

const char* const kPythonIcs = R"(
import icalendar, sqlite3, sys, time, uuid, datetime
rows = sqlite3.connect(sys.argv[1]).execute(
    'select summary, description, start_date, end_date from CalendarItem').fetchall()
base = datetime.datetime(2001, 1, 1)
t = time.perf_counter()
cal = icalendar.Calendar()
cal.add('prodid', '-//bench//EN'); cal.add('version', '2.0')
for s, d, a, b in rows:
    ev = icalendar.Event()
    ev.add('dtstart', (base + datetime.timedelta(seconds=a)).date())
    ev.add('dtend', (base + datetime.timedelta(seconds=b, days=1)).date())
    ev.add('summary', s); ev.add('description', d); ev.add('uid', str(uuid.uuid4()).upper())
    cal.add_component(ev)
open(sys.argv[2], 'wb').write(cal.to_ical())
print(time.perf_counter() - t)
)";

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    int calls = 200000;
    int events = 100000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--calls")
            calls = args[i + 1].toInt();
        else if (args[i] == "--events")
            events = args[i + 1].toInt();
    }
    QTemporaryDir work;
    const QDir dir(work.path());
    const QString gen = QStringLiteral(QM_SOURCE_DIR "/tools/gen/");
    const QString store = dir.absoluteFilePath(IOSCallHistoryDb::kStoreFile);
    const QString calendar = dir.absoluteFilePath(IOSCalendarDb::kCalendarFile);
    if (!run(python(), { gen + "make_call_history.py", store, "--calls", QString::number(calls) })
        || !run(python(), { gen + "make_calendar_db.py", calendar, "--events", QString::number(events) })) {
        out << "generators failed\n";
        return 1;
    }

    // Read: the page's reader into the page's model, against sqlite3 selecting the same rows.
    ItemModelCall model;
    QList<_CallHistory> list;
    const double ours = seconds([&] {
        list = IOSCallHistoryDb(dir).callHistories();
        model.loadCalls(list);
    });
    const double cli = seconds([&] {
        run("sqlite3", { store, "select * from ZCALLRECORD order by ZDATE desc" });
    });
    out << QString("read %1 calls: %2 s, sqlite3 %3 s, ratio %4 (goal <= 2)\n")
               .arg(list.size())
               .arg(ours, 0, 'f', 3)
               .arg(cli, 0, 'f', 3)
               .arg(ours / cli, 0, 'f', 2);

    // Save: the saving thread into a fresh local store, against INSERT ... SELECT.
    LocalCallHistoryDb local(dir.absoluteFilePath("local/calls.db"));
    QDir().mkpath(dir.absoluteFilePath("local"));
    const double save = seconds([&] {
        ProgressForm form;
        BackupCallsThread thread(local, list, form);
        runQuiet(thread, form);
    });
    const QString copy = dir.absoluteFilePath("copy.db");
    const double cliSave = seconds([&] {
        run("sqlite3",
            { copy,
                "attach '" + store
                    + "' as s; create table call (_id INTEGER PRIMARY KEY AUTOINCREMENT, "
                      "address TEXT, date INTEGER, duration INTEGER, flags INTEGER, person TEXT, hash TEXT, "
                      "unique_id TEXT); create index date_index on call(date); create index hash_index on "
                      "call(hash); insert into call(address,date,"
                      "duration,flags,hash,unique_id) select ZADDRESS, ZDATE+978307200, ZDURATION, "
                      "ZORIGINATED, "
                      "ZUNIQUE_ID, ZUNIQUE_ID from s.ZCALLRECORD;" });
    });
    out << QString("save %1 calls: %2 s, sqlite3 %3 s, ratio %4 (goal <= 5)\n")
               .arg(local.total())
               .arg(save, 0, 'f', 3)
               .arg(cliSave, 0, 'f', 3)
               .arg(save / cliSave, 0, 'f', 2);

    // iCalendar: the export thread against python3-icalendar writing the same events.
    QList<_CalEvent> all;
    for (const _Calendar& c : IOSCalendarDb(nullptr, dir).calendars())
        all += c.events;
    const double ics = seconds([&] {
        ProgressForm form;
        ExportCalendarThread thread(all, dir.absoluteFilePath("out.ics"), &form);
        runQuiet(thread, form);
    });
    QString pyOut;
    run(python(), { "-c", kPythonIcs, calendar, dir.absoluteFilePath("py.ics") }, &pyOut);
    const double py = pyOut.trimmed().toDouble();
    out << QString("ics %1 events: %2 s, python3-icalendar %3 s, ratio %4 (goal <= 0.2)\n")
               .arg(all.size())
               .arg(ics, 0, 'f', 3)
               .arg(py, 0, 'f', 3)
               .arg(py > 0 ? ics / py : 0, 0, 'f', 3);
    return 0;
}
