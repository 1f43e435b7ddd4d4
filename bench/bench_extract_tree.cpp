// Extracting the whole file tree of a backup as the user waits for it: the whole
// `qm-probe extract-tree` process (ExportBKFileThread, as the file tree page runs it) against the
// shell tools a user could take instead: `cp -r` of a plain backup's folder, and
// `openssl enc -d -aes-256-cbc` over every stored file of an encrypted backup in a shell loop.
// Both sides are whole processes, alternating, after a warm-up of each; the median of the rounds.
//   bench_extract_tree [FILES [BYTES [plain [ROUNDS]]]]   default 20,000 files of 52,429 bytes (1 GB)
// QM_BENCH_PIN=1 pins both sides to cores 0 and 1 (taskset).
#include "BenchProcess.h"
#include "backup/BackupManifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <memory>

namespace
{

bool generate(const QString& dir, int files, int bytes, bool encrypted)
{
    QStringList args { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--no-well-known",
        "--photos", "0", "--videos", "0", "--bulk-files", QString::number(files), "--bulk-bytes",
        QString::number(bytes) };
    if (encrypted)
        args << "--password"
             << "pw"
             << "--iter"
             << "5"
             << "--dpic"
             << "5";
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
    gen.start("python3", args << dir);
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

// A shell script that decrypts every stored file with openssl, one process per file.
QString opensslLoop(const QString& dir, const QString& out)
{
    BackupManifest m(dir);
    m.readManifestInfo();
    if (!m.setPasscode("pw"))
        return QString();
    m.parseInfo();
    QString script = QStringLiteral("set -e\nmkdir -p \"%1\"\n").arg(out);
    int i = 0;
    std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
        for (const BackupManifest::_FileNode* c : n->children) {
            if (c->item.isFolder()) {
                walk(c);
                continue;
            }
            if (!QFileInfo::exists(m.storedFilePath(c->item)))
                continue;
            script += QStringLiteral("openssl enc -d -aes-256-cbc -K %1 -iv %2 -in '%3' -out \"%4/%5\"\n")
                          .arg(QString::fromLatin1(m.fileKey(c->item).toHex()), QString(32, '0'),
                              m.storedFilePath(c->item), out, QString::number(i++));
        }
    };
    walk(m.rootNode());
    return script;
}

QStringList maybePinned(const QStringList& argv)
{
    return qEnvironmentVariableIntValue("QM_BENCH_PIN") ? Bench::pinned(argv) : argv;
}

void removeTree(const QString& dir)
{
    QDir(dir).removeRecursively();
    ::sync(); // the next run does not pay for this one's write-back
}

struct Side {
    std::vector<double> seconds;
    long peakKb = 0;
    int status = 0;
};

// One round: each side writes into a fresh folder, the order alternating; both folders go after.
void round(int i, const std::function<QStringList(const QString&)>& ours,
    const std::function<QStringList(const QString&)>& reference, const QString& tmp, Side& a, Side& b,
    bool record)
{
    const QString outA = tmp + QStringLiteral("/ours%1").arg(i);
    const QString outB = tmp + QStringLiteral("/ref%1").arg(i);
    auto runA = [&] {
        const Bench::Run r = Bench::run(maybePinned(ours(outA)));
        if (record) {
            a.seconds.push_back(r.seconds);
            a.peakKb = std::max(a.peakKb, r.peakKb);
        }
        a.status = a.status ? a.status : r.status;
    };
    auto runB = [&] {
        const Bench::Run r = Bench::run(maybePinned(reference(outB)));
        if (record) {
            b.seconds.push_back(r.seconds);
            b.peakKb = std::max(b.peakKb, r.peakKb);
        }
        b.status = b.status ? b.status : r.status;
    };
    if (i % 2) {
        runB();
        runA();
    } else {
        runA();
        runB();
    }
    removeTree(outA);
    removeTree(outB);
}

void compare(const char* label, const char* refLabel, double goal, int rounds,
    const std::function<QStringList(const QString&)>& ours,
    const std::function<QStringList(const QString&)>& reference, const QString& tmp)
{
    Side a, b;
    round(0, ours, reference, tmp, a, b, false); // warm-up of each
    for (int i = 1; i <= rounds; ++i)
        round(i, ours, reference, tmp, a, b, true);
    const double ta = Bench::median(a.seconds), tb = Bench::median(b.seconds);
    std::printf("%-32s %8.2f s  peak %8ld KB  (exit %d)\n", label, ta, a.peakKb, a.status);
    std::printf("%-32s %8.2f s  peak %8ld KB  (exit %d)\n", refLabel, tb, b.peakKb, b.status);
    std::printf("%-32s %8.3f   (goal <= %.2f), median of %d\n", "ratio", ta / tb, goal, rounds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QString(argv[1]).toInt() : 20000;
    const int bytes = argc > 2 ? QString(argv[2]).toInt() : 52429;
    const bool plainOnly = argc > 3 && QString(argv[3]) == "plain"; // skips the slow openssl loop
    const int rounds = argc > 4 ? std::max(5, QString(argv[4]).toInt()) : 5;
    QTemporaryDir tmp;
    const QString plain = tmp.filePath("plain/0123456789abcdef0123456789abcdef01234567");
    if (!generate(plain, files, bytes, false))
        return 1;
    std::printf("files %d x %d bytes, cores %d, %s\n", files, bytes, QThread::idealThreadCount(),
        qEnvironmentVariableIntValue("QM_BENCH_PIN") ? "pinned to cores 0,1" : "not pinned");
    std::fflush(stdout);
    const QString probe = QStringLiteral(QM_PROBE);
    compare(
        "qm-probe extract-tree (plain)", "cp -r", 1.3, rounds,
        [&](const QString& out) {
            return QStringList { probe, "extract-tree", plain, out };
        },
        [&](const QString& out) {
            return QStringList { "cp", "-r", plain, out };
        },
        tmp.path());
    if (plainOnly)
        return 0;
    const QString enc = tmp.filePath("enc/0123456789abcdef0123456789abcdef01234567");
    if (!generate(enc, files, bytes, true))
        return 1;
    const QString script = tmp.filePath("openssl-loop.sh");
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly)
        || f.write(QStringLiteral("out=\"$1\"\n").toUtf8() + opensslLoop(enc, "$out").toUtf8()) < 0)
        return 1;
    f.close();
    compare(
        "qm-probe extract-tree (encrypted)", "openssl enc -d loop", 0.5, rounds,
        [&](const QString& out) {
            return QStringList { probe, "extract-tree", enc, out, "--password", "pw" };
        },
        [&](const QString& out) {
            return QStringList { "bash", script, out };
        },
        tmp.path());
    return 0;
}
