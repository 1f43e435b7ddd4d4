// Unlocking a keybag of the current generation (DPIC 10,000,000) against `openssl kdf` doing the
// same PBKDF2-HMAC-SHA256 work, timed in the same run.
#include "backup/BackupKeyBag.h"
#include "backup/Pbkdf2Sha256.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>

namespace
{

QByteArray tlv(const char* tag, const QByteArray& value)
{
    QByteArray out(tag, 4);
    const quint32 n = quint32(value.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return out + value;
}

QByteArray u32(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const quint32 dpic = 10000000;
    const QByteArray bag = tlv("VERS", u32(5)) + tlv("TYPE", u32(1)) + tlv("UUID", QByteArray(16, 'u'))
        + tlv("SALT", QByteArray(20, 's')) + tlv("ITER", u32(10000)) + tlv("DPWT", u32(1))
        + tlv("DPIC", u32(dpic)) + tlv("DPSL", QByteArray(20, 'd')) + tlv("UUID", QByteArray(16, 'c'))
        + tlv("CLAS", u32(1)) + tlv("WRAP", u32(2)) + tlv("WPKY", QByteArray(40, 'w'));

    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start("openssl",
        { "kdf", "-keylen", "32", "-kdfopt", "digest:SHA256", "-kdfopt", "pass:P", "-kdfopt", "salt:S",
            "-kdfopt", "iter:10000000", "PBKDF2" });
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "openssl kdf failed\n");
        return 1;
    }
    const double openssl = double(t.nsecsElapsed()) / 1e9;

    BackupKeyBag kb = BackupKeyBag::parseThrow(bag);
    t.restart();
    const bool ok = kb.unlock("P"); // the wrapped key is random: the whole derivation runs, then fails
    const double unlock = double(t.nsecsElapsed()) / 1e9;

    t.restart();
    const QByteArray k = Pbkdf2Sha256::derive("P", "S", dpic, 32);
    const double derive = double(t.nsecsElapsed()) / 1e9;
    const QString expected = QString::fromLatin1(p.readAllStandardOutput()).trimmed().remove(':').toLower();

    std::printf("cores: %d, SHA extensions: %s\n", QThread::idealThreadCount(),
        Pbkdf2Sha256::hasShaExtensions() ? "yes" : "no");
    std::printf("openssl kdf PBKDF2-SHA256 10,000,000: %.3f s\n", openssl);
    std::printf("keybag unlock (SHA-256 10,000,000 + SHA-1 10,000 + unwrap): %.3f s (%s)\n", unlock,
        ok ? "unlocked" : "refused as expected");
    std::printf(
        "derive alone: %.3f s, same key as openssl: %s\n", derive, expected == k.toHex() ? "yes" : "NO");
    std::printf("ratio unlock / openssl: %.2f (target <= 0.40)\n", unlock / openssl);
    return 0;
}
