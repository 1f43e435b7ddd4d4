// Unlocking the keybag of a backup of the current generation (DPIC 10,000,000), `qm-probe unlock`
// with the right password, against `openssl kdf` doing the same PBKDF2-HMAC-SHA256 work: whole
// processes, a warm-up each, alternating, median of five, both pinned to the cores of QM_BENCH_CORES
// ("0,1" when unset, "all" for none). Goal: ratio at most 0.4.
//
//   bench_unlock [--rounds R]
#include "BenchProcess.h"
#include "backup/Pbkdf2Sha256.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 2 && QByteArray(argv[1]) == "--rounds" ? atoi(argv[2]) : 5;
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("0123456789abcdef0123456789abcdef01234567");
    std::printf("generating a backup with a keybag of DPIC 10,000,000...\n");
    std::fflush(stdout);
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.setStandardOutputFile(QProcess::nullDevice());
    gen.start("python3",
        { QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--password", "P", "--dpic", "10000000",
            "--no-well-known", "--photos", "0", "--videos", "0", dir });
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0)
        return 1;
    QFile password(tmp.filePath("password"));
    password.open(QIODevice::WriteOnly);
    password.write("P\n");
    password.close();
    const Bench::Comparison c
        = Bench::compare({ Bench::onCores({ QM_PROBE, "unlock", dir }), {}, {}, password.fileName() },
            { Bench::onCores({ "openssl", "kdf", "-keylen", "32", "-kdfopt", "digest:SHA256", "-kdfopt",
                "pass:P", "-kdfopt", "salt:S", "-kdfopt", "iter:10000000", "PBKDF2" }) },
            rounds);
    std::printf(
        "cores: %d, SHA extensions: %s; whole processes, a warm-up each, median of %d alternating runs\n",
        QThread::idealThreadCount(), Pbkdf2Sha256::hasShaExtensions() ? "yes" : "no", rounds);
    Bench::report(
        "unlock (SHA-256 10,000,000 + SHA-1 10,000)", c, "openssl kdf PBKDF2-SHA256 10,000,000", 0.4);

    // The derivation alone, in this process, against openssl's key: the same work gives the same key.
    QProcess p;
    p.start("openssl",
        { "kdf", "-keylen", "32", "-kdfopt", "digest:SHA256", "-kdfopt", "pass:P", "-kdfopt", "salt:S",
            "-kdfopt", "iter:10000000", "PBKDF2" });
    p.waitForFinished(-1);
    const QString expected = QString::fromLatin1(p.readAllStandardOutput()).trimmed().remove(':').toLower();
    QElapsedTimer t;
    t.start();
    const QByteArray k = Pbkdf2Sha256::derive("P", "S", 10000000, 32);
    std::printf("derive alone: %.3f s, same key as openssl: %s\n", double(t.nsecsElapsed()) / 1e9,
        expected == k.toHex() ? "yes" : "NO");
    return c.ours.status ? 1 : 0;
}
