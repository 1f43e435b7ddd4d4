// Times what the user waits for on the call-history and calendar pages, whole processes against a
// reference, a warm-up each, alternating, median of five (both pinned to the cores of QM_BENCH_CORES,
// "0,1" when unset, "all" for none):
//   read   `qm-probe calls` on a generated CallHistory.storedata of N calls, against the sqlite3
//          command line selecting the same rows (goal: at most 2 x);
//   save   those calls read and saved into a fresh local store through the saving thread (this
//          program as a driver), against sqlite3 copying the same rows with INSERT ... SELECT
//          (goal: at most 5 x);
//   ics    `qm-probe export-calendars --format ics` of M events, against python3-icalendar reading
//          and writing the same events (goal: at most 0.2 x).
//
//   bench_calls_calendars [--calls N] [--events M] [--rounds R]
//   bench_calls_calendars --save-calls FOLDER STORE      (one run of the driver)
#include "BenchProcess.h"
#include "app/MallocTuning.h"
#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ui/BackupCallsThread.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace
{
// The system's Python, where the reference's modules are installed.
QString python()
{
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
}

// The driver: the page's reader, then the saving thread into a fresh local store.
int driveSave(int argc, char** argv, const QString& folder, const QString& store)
{
    MallocTuning::apply(); // as the program's main() does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QList<_CallHistory> list = IOSCallHistoryDb(QDir(folder)).callHistories();
    LocalCallHistoryDb local(store);
    ProgressForm form;
    form.setQuiet(true);
    BackupCallsThread thread(local, list, form);
    thread.start();
    const int result = form.exec();
    thread.wait();
    return result == 1 && local.total() > 0 ? 0 : 1;
}

const char* const kPythonIcs = R"(
import icalendar, sqlite3, sys, uuid, datetime
rows = sqlite3.connect(sys.argv[1]).execute(
    'select summary, description, start_date, end_date from CalendarItem').fetchall()
base = datetime.datetime(2001, 1, 1)
cal = icalendar.Calendar()
cal.add('prodid', '-//bench//EN'); cal.add('version', '2.0')
for s, d, a, b in rows:
    ev = icalendar.Event()
    ev.add('dtstart', (base + datetime.timedelta(seconds=a)).date())
    ev.add('dtend', (base + datetime.timedelta(seconds=b, days=1)).date())
    ev.add('summary', s); ev.add('description', d); ev.add('uid', str(uuid.uuid4()).upper())
    cal.add_component(ev)
open(sys.argv[2], 'wb').write(cal.to_ical())
)";

const char* const kCliSave
    = "create table call (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration "
      "INTEGER, flags INTEGER, person TEXT, hash TEXT, unique_id TEXT); create index date_index on "
      "call(date); create index hash_index on call(hash); insert into call(address,date,duration,flags,"
      "hash,unique_id) select ZADDRESS, ZDATE+978307200, ZDURATION, ZORIGINATED, ZUNIQUE_ID, ZUNIQUE_ID "
      "from s.ZCALLRECORD;";

int compare(int calls, int events, int rounds)
{
    QTemporaryDir work;
    const QDir dir(work.path());
    const QString gen = QStringLiteral(QM_SOURCE_DIR "/tools/gen/");
    const QString store = dir.absoluteFilePath(IOSCallHistoryDb::kStoreFile);
    const QString calendar = dir.absoluteFilePath(IOSCalendarDb::kCalendarFile);
    std::printf("generating %d calls and %d events...\n", calls, events);
    std::fflush(stdout);
    if (!Bench::generate({ gen + "make_call_history.py", store, "--calls", QString::number(calls) })
        || !Bench::generate({ gen + "make_calendar_db.py", calendar, "--events", QString::number(events) })) {
        std::fprintf(stderr, "generators failed\n");
        return 1;
    }
    std::printf("whole processes, a warm-up each, median of %d alternating runs\n", rounds);
    const Bench::Comparison read = Bench::compare({ Bench::onCores({ QM_PROBE, "calls", store }) },
        { Bench::onCores({ "sqlite3", store, "select * from ZCALLRECORD order by ZDATE desc" }) }, rounds);
    Bench::report("read calls", read, "sqlite3", 2.0);
    const QString local = dir.absoluteFilePath("local/calls.db"), copy = dir.absoluteFilePath("copy.db");
    QDir().mkpath(dir.absoluteFilePath("local"));
    const Bench::Comparison save = Bench::compare(
        { Bench::onCores({ QCoreApplication::applicationFilePath(), "--save-calls", dir.path(), local }), {},
            Bench::removing(local) },
        { Bench::onCores({ "sqlite3", copy, "attach '" + store + "' as s; " + kCliSave }), {},
            Bench::removing(copy) },
        rounds);
    Bench::report("save calls", save, "sqlite3", 5.0);
    const QString ics = dir.absoluteFilePath("out.ics");
    const Bench::Comparison cal = Bench::compare(
        { Bench::onCores({ QM_PROBE, "export-calendars", "--format", "ics", calendar, ics }), {},
            Bench::removing(ics) },
        { Bench::onCores({ python(), "-c", kPythonIcs, calendar, dir.absoluteFilePath("py.ics") }) }, rounds);
    Bench::report("ics export", cal, "python3-icalendar", 0.2);
    return read.ours.status || save.ours.status || cal.ours.status ? 1 : 0;
}
} // namespace

int main(int argc, char** argv)
{
    int calls = 200000, events = 100000, rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--save-calls" && i + 2 < argc)
            return driveSave(
                argc, argv, QString::fromLocal8Bit(argv[i + 1]), QString::fromLocal8Bit(argv[i + 2]));
        if (a == "--calls")
            calls = atoi(argv[i + 1]);
        else if (a == "--events")
            events = atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = atoi(argv[i + 1]);
    }
    QCoreApplication app(argc, argv);
    return compare(calls, events, rounds);
}
