// parseInfo of a big Manifest.db against the sqlite3 command line reading the same rows, and the
// memory the parsed tree keeps per record.
#include "backup/BackupManifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <malloc.h>

namespace
{

double seconds(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e9;
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/qm-bench-372k";
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
    const QString db = dir + "/Manifest.db";
    // Alternate the two so both see the same machine load; keep the best of each.
    const int runs = 7;
    double cli = 1e9;
    double ours = 1e9;
    qint64 records = 0;
    double perRecord = 0;
    for (int i = 0; i < runs; ++i) {
        cli = std::min(cli, seconds([&] {
            QProcess p;
            p.start("sqlite3", { db, "select count(*), sum(length(file)) from Files" });
            p.waitForFinished(-1);
        }));
        const size_t before = heapInUse();
        auto m = std::make_unique<BackupManifest>(dir);
        ours = std::min(ours, seconds([&] { m->parseInfo(); }));
        records = m->recordCount();
        perRecord = double(heapInUse() - before) / double(records);
    }
    std::printf("cores: %d\n", QThread::idealThreadCount());
    std::printf("records: %lld\n", static_cast<long long>(records));
    std::printf("sqlite3 CLI count+sum(length(file)): %.3f s (best of %d, warm)\n", cli, runs);
    std::printf("parseInfo: %.3f s (best of %d)\n", ours, runs);
    std::printf("ratio parseInfo / sqlite3: %.2f (target <= 2.00)\n", ours / cli);
    std::printf("memory kept per record: %.0f bytes (target <= 250)\n", perRecord);
    return 0;
}
