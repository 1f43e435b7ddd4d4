// A later message load as the user waits for it, the backup's cache holding its copies: the whole
// `qm-probe cache-messages` process (the message and address book folders, each copy found current
// or made again) of this build against another build's, given with --earlier, on a backup of a large
// sms.db (tools/gen/make_sms_db.py bulk). The backup is made in each folder given with --folder: on a
// disk whose change times prove a file unchanged (ext4, xfs, btrfs, tmpfs) the stamps decide; on
// another kind (exFAT, FAT, FUSE, network) the stored databases are read again to compare. Each side
// keeps a cache of its own, which its warm-up fills; then both run alternating, the median of the
// rounds. Both sides are pinned to the cores of QM_BENCH_CORES ("0,1" when unset, "all" for none).
//
//   bench_later_message_load --earlier QM_PROBE [--messages N] [--rounds R] [--folder DIR]...
#include "BenchProcess.h"
#include "app/FileSystemView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace
{

Bench::Command load(const QString& probe, const QString& home, const QString& backup)
{
    return { Bench::onCores(
                 { "env", "HOME=" + home, "QT_QPA_PLATFORM=offscreen", probe, "cache-messages", backup }),
        QString(), {}, QString() };
}

// One folder's comparison; false when the backup could not be made there.
bool compareIn(
    const QString& folder, const QString& db, const QString& earlier, const QString& homes, int rounds)
{
    QTemporaryDir where(QDir(folder).filePath("qm-bench-XXXXXX"));
    const QString backup = where.filePath("0123456789abcdef0123456789abcdef01234567");
    if (!where.isValid()
        || !Bench::generate(
            { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--sms-db", db, backup }))
        return false;
    // A backup is loaded a while after it was written; a file changed just before its copy is
    // copied again at the next load.
    QThread::sleep(3);
    const QString tag = QString::number(qHash(folder));
    const Bench::Comparison c = Bench::compare(load(QStringLiteral(QM_PROBE), homes + "/ours-" + tag, backup),
        load(earlier, homes + "/earlier-" + tag, backup), rounds);
    const bool proves = FileSystemView::changeTimeProves(backup);
    const QString title = QStringLiteral("later message load in %1 (%2)")
                              .arg(folder, proves ? "change times prove" : "content compared");
    Bench::report(qPrintable(title), c, "earlier", proves ? 1.0 : 1.1);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int messages = 300000, rounds = 5;
    QString earlier;
    QStringList folders;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString a = argv[i];
        if (a == "--messages")
            messages = atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = std::max(5, atoi(argv[i + 1]));
        else if (a == "--earlier")
            earlier = argv[i + 1];
        else if (a == "--folder")
            folders << argv[i + 1];
    }
    if (earlier.isEmpty()) {
        std::fprintf(stderr,
            "usage: bench_later_message_load --earlier QM_PROBE [--messages N] [--rounds R] [--folder "
            "DIR]...\n");
        return 2;
    }
    if (folders.isEmpty())
        folders << QDir::tempPath();
    QTemporaryDir tmp;
    const QString db = tmp.filePath("sms.db");
    std::printf("generating a message database of %d messages...\n", messages);
    std::fflush(stdout);
    if (!Bench::generate({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_sms_db.py"), "bulk", db,
            "--messages", QString::number(messages) }))
        return 1;
    std::printf("sms.db: %lld bytes\n", QFileInfo(db).size());
    for (const QString& folder : std::as_const(folders))
        if (!compareIn(folder, db, earlier, tmp.path(), rounds))
            return 1;
    return 0;
}
