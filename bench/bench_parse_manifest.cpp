// Opening a backup's file tree as the user waits for it: the whole `qm-probe tree` process on a
// 372,000-record Manifest.db against the sqlite3 command line scanning the same table
// (count and sum of the record sizes), side by side in the same run, on all cores and with both
// pinned to two cores.
//
//   bench_parse_manifest [BACKUP_DIR]   (generated into a temporary folder when not given)
//
// QM_BENCH_CORES sets the two cores of the pinned runs (taskset list, default "0,1"), so that the
// bench can keep off cores that other work is using.
#include "BenchProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/qm-bench-372k";
    if (!QFileInfo::exists(dir + "/Manifest.db")) {
        std::printf("generating a 372,000-record backup in %s ...\n", qPrintable(dir));
        QProcess gen;
        gen.setProcessChannelMode(QProcess::ForwardedChannels);
        gen.start("python3",
            { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--records", "372000",
                "--no-filler-files", dir });
        if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
            std::fprintf(stderr, "generator failed\n");
            return 1;
        }
    }
    const QStringList ours { QStringLiteral(QM_PROBE), "tree", dir };
    const QStringList cli { "sqlite3", dir + "/Manifest.db",
        "select count(*), sum(length(file)) from Files" };
    const int rounds = 9;
    std::printf("cores: %d, whole processes, a warm-up each, median of %d alternating runs\n",
        QThread::idealThreadCount(), rounds);
    const Bench::Comparison all = Bench::compare({ ours }, { cli }, rounds);
    Bench::report("tree, all cores", all, "sqlite3", 1.5, QStringLiteral("all"));
    const QString cores = qEnvironmentVariable("QM_BENCH_CORES", QStringLiteral("0,1"));
    const QStringList pin { "taskset", "-c", cores };
    const Bench::Comparison two = Bench::compare({ pin + ours }, { pin + cli }, rounds);
    Bench::report(qPrintable("tree, taskset -c " + cores), two, "sqlite3", 1.8, cores);
    return all.ours.status == 0 && two.ours.status == 0 ? 0 : 1;
}
