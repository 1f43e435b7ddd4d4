// Loading a 1,000,000-message modern sms.db as the user waits for it: the whole `qm-probe messages`
// process (private copy, open, load of chats, handles and messages, free, exit) against the sqlite3
// command line printing the same joined rows, side by side in the same run; the probe's peak memory
// per message; and, inside this process, the time to free the loaded model against the time to
// load it (the message page frees it when the user switches to another backup).
//
// Three databases: two from tools/gen/make_sms_db.py, the second with every 50th join's message gone
// (as long-lived phones keep them: the load then checks its list against the count of the tables),
// and one grown from the real message rows of the fixture magnet-ctf-2020-sms
// (tools/gen/grow_sms_db.py; skipped when ../shared is not there). With --earlier, the probe of
// another build (an earlier commit's) runs the same loads side by side, alternating with this one's.
//
//   bench_msgdata_load [--messages N] [--earlier PATH_TO_QM_PROBE]
#include "BenchProcess.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

bool python(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString sharedFixture(const QString& rel)
{
    const QString dir = qEnvironmentVariableIsEmpty("QM_SHARED_DIR")
        ? QStringLiteral(QM_SOURCE_DIR "/../shared")
        : qEnvironmentVariable("QM_SHARED_DIR");
    const QString path = dir + "/fixtures/real/" + rel;
    return QFile::exists(path) ? path : QString();
}

// Load and free inside this process, best of two: seconds to load, seconds to free.
std::pair<double, double> loadAndFree(const QString& db, int& loaded)
{
    QTemporaryDir work;
    const QDir folder(work.path());
    QDir().mkpath(QFileInfo(folder.absoluteFilePath(kSmsRel)).absolutePath());
    QFile::copy(db, folder.absoluteFilePath(kSmsRel));
    double load = 1e9, free = 1e9;
    for (int round = 0; round < 2; ++round) {
        auto data = std::make_unique<MsgData>();
        QElapsedTimer t;
        t.start();
        {
            IOS6MessageDb reader(folder, _CountryInfo(), false);
            reader.messages(*data, 0);
        }
        load = std::min(load, t.nsecsElapsed() / 1e9);
        loaded = int(data->p()->messages.size());
        t.restart();
        data.reset();
        free = std::min(free, t.nsecsElapsed() / 1e9);
    }
    return { load, free };
}

void measure(const char* title, const QString& db, int rounds, const QString& earlier)
{
    const QStringList ours { QStringLiteral(QM_PROBE), "messages", db };
    const QStringList cli { "sqlite3", db,
        "select j.chat_id, m.* from chat_message_join as j inner join message as m on "
        "j.message_id = m.rowid and m.item_type <> 4" };
    const Bench::Comparison p = Bench::compare({ ours }, { cli }, rounds);
    int loaded = 0;
    const auto [load, free] = loadAndFree(db, loaded);
    std::printf("\n%s (%d messages)\n", title, loaded);
    Bench::report("  qm-probe messages", p, "sqlite3", 1.5);
    std::printf("  qm-probe peak memory %ld KB: %.0f bytes per message (goal <= 1000 on real rows)\n",
        p.ours.peakKb, loaded ? p.ours.peakKb * 1024.0 / loaded : 0.0);
    std::printf("  in process: load %.3f s, free %.3f s: free/load %.1f%% (goal <= 10%%)\n", load, free,
        load > 0 ? 100.0 * free / load : 0.0);
    if (!earlier.isEmpty())
        Bench::report("  qm-probe messages against the earlier build",
            Bench::compare({ ours }, { QStringList { earlier, "messages", db } }, rounds), "earlier", 1.03);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int n = 1000000;
    QString earlier;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--messages")
            n = args[i + 1].toInt();
        else if (args[i] == "--earlier")
            earlier = args[i + 1];
    }
    QTemporaryDir work;
    const QString tools = QStringLiteral(QM_SOURCE_DIR "/tools/gen/");
    const QString generated = work.filePath("generated.db");
    std::printf("generating %d messages...\n", n);
    if (!python({ tools + "make_sms_db.py", "bulk", generated, "--messages", QString::number(n) })) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    const int rounds = 5;
    measure("generated sms.db", generated, rounds, earlier);
    const QString gone = work.filePath("gone.db");
    if (!python({ tools + "make_sms_db.py", "bulk", gone, "--messages", QString::number(n), "--gone-every",
            "50" })) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    measure("generated sms.db, every 50th join's message gone", gone, rounds, earlier);
    QFile::remove(gone);
    const QString real = sharedFixture("magnet-ctf-2020-sms/sms.db");
    if (real.isEmpty()) {
        std::printf("\nreal rows: ../shared/fixtures not found, skipped\n");
        return 0;
    }
    const QString grown = work.filePath("grown.db");
    if (!python({ tools + "grow_sms_db.py", real, grown, "--messages", QString::number(n) })) {
        std::fprintf(stderr, "growing the real database failed\n");
        return 1;
    }
    measure("sms.db grown from real message rows", grown, rounds, earlier);
    return 0;
}
