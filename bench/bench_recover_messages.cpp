// Recovering the deleted messages of a modern sms.db as the user waits for it: the whole
// `qm-probe recover-messages` process (private copy, carving, filing, exit) against the sqlite3
// command line running PRAGMA integrity_check on the same file, both pinned to two cores, started
// alternately after a warm-up of each, median of the rounds; prints both times, the ratio, each
// side's peak memory and how many of the deleted messages came back.
//
//   bench_recover_messages [--messages N] [--delete-every K] [--rounds R] [--folder DIR]
// Without --folder the database (about 227 MB with the defaults, 50,000 messages deleted) is made
// by tools/gen/make_deleted_sms.py in a temporary folder. QM_BENCH_CORES sets the taskset list
// (default "0,1").
#include "BenchProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

qint64 deletedCount(const QString& folder)
{
    QFile f(folder + "/expected.json");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return QJsonDocument::fromJson(f.readAll()).object()["deleted"].toArray().size();
}

qint64 recoveredCount(const QString& outFile)
{
    QFile f(outFile);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return qint64(QJsonDocument::fromJson(f.readAll()).object()["recovered_messages"].toDouble());
}

struct Side {
    std::vector<double> seconds;
    long peakKb = 0;
    int status = 0;

    void add(const Bench::Run& r)
    {
        seconds.push_back(r.seconds);
        peakKb = std::max(peakKb, r.peakKb);
        status = r.status != 0 ? r.status : status;
    }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString messages = "250000";
    QString every = "5";
    QString folder;
    int rounds = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--messages")
            messages = args[i + 1];
        else if (args[i] == "--delete-every")
            every = args[i + 1];
        else if (args[i] == "--folder")
            folder = args[i + 1];
        else if (args[i] == "--rounds")
            rounds = qMax(5, args[i + 1].toInt());
    }
    QTemporaryDir tmp;
    if (folder.isEmpty()) {
        folder = tmp.path();
        std::printf("generating %s messages...\n", qPrintable(messages));
        std::fflush(stdout);
        QProcess gen;
        gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gen.start("python3",
            { QM_SOURCE_DIR "/tools/gen/make_deleted_sms.py", folder, "--messages", messages,
                "--delete-every", every, "--text-bytes", "600" });
        if (!gen.waitForFinished(-1) || gen.exitCode() != 0)
            return 1;
    }
    const QString db = QDir(folder).absoluteFilePath(kSmsRel);
    const QString cores = qEnvironmentVariableIsEmpty("QM_BENCH_CORES")
        ? QStringLiteral("0,1")
        : qEnvironmentVariable("QM_BENCH_CORES");
    const QStringList pin { "taskset", "-c", cores };
    const QStringList ours = pin + QStringList { QStringLiteral(QM_PROBE), "recover-messages", db };
    const QStringList ref = pin + QStringList { "sqlite3", db, "PRAGMA integrity_check" };
    const QString outFile = tmp.filePath("probe.json");

    // A warm-up of each, so neither side pays for the first read of the file.
    Bench::run(ref);
    Bench::run(ours, outFile);
    Side a, b;
    for (int i = 0; i < rounds; ++i) {
        a.add(Bench::run(ours, outFile));
        b.add(Bench::run(ref));
    }
    const double mine = Bench::median(a.seconds);
    const double theirs = Bench::median(b.seconds);
    std::printf(
        "file %.1f MB, %d rounds, taskset -c %s\n", QFileInfo(db).size() / 1e6, rounds, qPrintable(cores));
    std::printf("  qm-probe recover-messages %.3f s (peak %ld KB, exit %d)\n", mine, a.peakKb, a.status);
    std::printf("  sqlite3 integrity_check   %.3f s (peak %ld KB, exit %d)\n", theirs, b.peakKb, b.status);
    std::printf("  ratio %.2f (goal <= 1.50)\n", theirs > 0 ? mine / theirs : 0.0);
    std::printf("recovered %lld messages of %lld deleted\n", recoveredCount(outFile), deletedCount(folder));
    return a.status == 0 && b.status == 0 ? 0 : 1;
}
