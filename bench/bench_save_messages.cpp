// Saving a generated 100,000-message modern sms.db into a fresh local message store, whole
// processes: `qm-probe save-messages` (private copy, load, the save thread the message page uses,
// exit) against the sqlite3 command line cloning the same file (goal: at most 2 x). Then the message
// page shown over that database until its first bubble page has loaded and the page is painted,
// against loading the database alone, both as runs of this program as a driver (goal: at most 1.3 x).
// Both sides are pinned to the cores of QM_BENCH_CORES ("0,1" when unset, "all" for none).
//
//   bench_save_messages [--messages N] [--rounds R]
//   bench_save_messages --page FOLDER | --load FOLDER     (one run of a driver)
#include "BenchProcess.h"
#include "app/MallocTuning.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/SMSMainForm.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

bool generate(const QString& db, int n)
{
    return Bench::generate({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_sms_db.py"), "bulk", db,
        "--messages", QString::number(n) });
}

// The load the page does, alone.
int driveLoad(int argc, char** argv, const QString& folder)
{
    MallocTuning::apply(); // as the program's main() does
    QCoreApplication app(argc, argv);
    MsgData data;
    IOS6MessageDb reader(QDir(folder), _CountryInfo(), false);
    reader.messages(data, 0);
    return data.p()->messages.isEmpty() ? 1 : 0;
}

// From the constructor to the first bubble page loaded and the page painted.
int drivePage(int argc, char** argv, const QString& folder)
{
    MallocTuning::apply();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SMSMainForm page(QDir(folder), nullptr, nullptr);
    page.resize(1100, 700);
    page.show();
    QEventLoop loop;
    QObject::connect(page.bubbles(), &BubbleViewMgr::pageLoaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (page.bubbles()->loadCount() == 0)
        loop.exec();
    page.repaint();
    page.leaveRecordsAtExit(); // as the program's main() has the window do at its end
    return page.bubbles()->loadCount() > 0 ? 0 : 1;
}

int compare(int n, int rounds)
{
    QTemporaryDir work;
    const QDir folder(work.filePath("source"));
    const QString db = folder.absoluteFilePath(kSmsRel);
    QDir().mkpath(QFileInfo(db).absolutePath());
    std::printf("generating %d messages...\n", n);
    std::fflush(stdout);
    if (!generate(db, n)) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    std::printf("whole processes, a warm-up each, median of %d alternating runs\n", rounds);
    const QString store = work.filePath("store"), clone = work.filePath("clone.db");
    const Bench::Comparison save = Bench::compare(
        { Bench::onCores({ QM_PROBE, "save-messages", folder.path(), store }), {}, Bench::removing(store) },
        { Bench::onCores({ "sqlite3", db, ".clone " + clone }), {}, Bench::removing(clone) }, rounds);
    Bench::report("save-messages", save, "sqlite3 .clone", 2.0);
    const QString self = QCoreApplication::applicationFilePath();
    const Bench::Comparison page = Bench::compare({ Bench::onCores({ self, "--page", folder.path() }) },
        { Bench::onCores({ self, "--load", folder.path() }) }, rounds);
    Bench::report("message page shown", page, "message load", 1.3);
    const bool failed
        = save.ours.status || save.reference.status || page.ours.status || page.reference.status;
    return failed ? 1 : save.ratio() <= 2.0 && page.ratio() <= 1.3 ? 0 : 3;
}
} // namespace

int main(int argc, char** argv)
{
    int n = 100000, rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--page")
            return drivePage(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
        if (a == "--load")
            return driveLoad(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
        if (a == "--messages")
            n = atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = atoi(argv[i + 1]);
    }
    QCoreApplication app(argc, argv);
    return compare(n, rounds);
}
