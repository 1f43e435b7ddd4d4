// Decrypting a stored file of an encrypted backup out of it, `qm-probe extract` (keybag unlocked,
// manifest read, the file decrypted into place), against `openssl enc -d -aes-256-cbc` on the same
// bytes: whole processes, a warm-up each, alternating, median of five, both pinned to the cores of
// QM_BENCH_CORES ("0,1" when unset, "all" for none). Goal: ours at least half as fast (ratio <= 2).
//
//   bench_copy_encrypted [BYTES] [--rounds R]      (default 256 MiB)
#include "BenchProcess.h"
#include "backup/BackupManifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int bytes = 256 * 1024 * 1024, rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--rounds" && i + 1 < argc)
            rounds = atoi(argv[++i]);
        else
            bytes = atoi(argv[i]);
    }
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("0123456789abcdef0123456789abcdef01234567");
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.setStandardOutputFile(QProcess::nullDevice());
    gen.start("python3",
        { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--password", "pw", "--iter", "5",
            "--dpic", "5", "--no-well-known", "--photos", "0", "--videos", "0", "--big-file",
            QString::number(bytes), dir });
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0)
        return 1;
    BackupManifest m(dir);
    m.readManifestInfo();
    if (!m.setPasscode("pw"))
        return 1;
    m.parseInfo();
    const BackupManifest::_FileNode* node = m.findNode("HomeDomain", "Library/Caches/big.bin");
    const QString stored = m.storedFilePath(node->item);
    const QByteArray key = m.fileKey(node->item);
    QFile password(tmp.filePath("password"));
    password.open(QIODevice::WriteOnly);
    password.write("pw\n");
    password.close();

    const QString ours = tmp.filePath("ours.out"), theirs = tmp.filePath("openssl.out");
    const Bench::Comparison c = Bench::compare(
        { Bench::onCores({ QM_PROBE, "extract", dir, "HomeDomain", "Library/Caches/big.bin", ours }), {},
            [ours] { QFile::remove(ours); }, password.fileName() },
        { Bench::onCores({ "openssl", "enc", "-d", "-aes-256-cbc", "-K", QString::fromLatin1(key.toHex()),
            "-iv", QString(32, '0'), "-in", stored, "-out", theirs }) },
        rounds);
    const double mb = double(bytes) / (1024 * 1024);
    std::printf("%.0f MiB; whole processes, a warm-up each, median of %d alternating runs\n", mb, rounds);
    Bench::report("decrypting copy", c, "openssl enc -d", 2.0);
    std::printf("    %.0f MB/s against %.0f MB/s; same output size: %s\n", mb / c.ours.seconds,
        mb / c.reference.seconds, QFileInfo(ours).size() == QFileInfo(theirs).size() ? "yes" : "NO");
    return c.ours.status ? 1 : 0;
}
