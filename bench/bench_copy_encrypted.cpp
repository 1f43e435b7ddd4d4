// Decrypting a stored file into the cache (BackupManifest::copyFile) against
// `openssl enc -d -aes-256-cbc` on the same bytes.
#include "backup/BackupManifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("0123456789abcdef0123456789abcdef01234567");
    const int bytes = argc > 1 ? QString(argv[1]).toInt() : 256 * 1024 * 1024;
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedChannels);
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

    double ours = 1e9, openssl = 1e9;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start("openssl",
            { "enc", "-d", "-aes-256-cbc", "-K", QString::fromLatin1(key.toHex()), "-iv", QString(32, '0'),
                "-in", stored, "-out", tmp.filePath("openssl.out") });
        p.waitForFinished(-1);
        openssl = std::min(openssl, double(t.nsecsElapsed()) / 1e9);
        t.restart();
        m.copyFile(node, tmp.filePath("ours.out"), nullptr, nullptr);
        ours = std::min(ours, double(t.nsecsElapsed()) / 1e9);
    }
    const bool same
        = QFileInfo(tmp.filePath("ours.out")).size() == QFileInfo(tmp.filePath("openssl.out")).size();
    const double mb = double(bytes) / (1024 * 1024);
    std::printf("cores: %d\n", QThread::idealThreadCount());
    std::printf("openssl enc -d -aes-256-cbc: %.3f s (%.0f MB/s)\n", openssl, mb / openssl);
    std::printf("copyFile (decrypt to cache): %.3f s (%.0f MB/s), same output size: %s\n", ours, mb / ours,
        same ? "yes" : "NO");
    std::printf("speed ratio ours / openssl: %.2f (target >= 0.50)\n", openssl / ours);
    return 0;
}
