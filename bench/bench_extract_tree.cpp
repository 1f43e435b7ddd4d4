// Extracting the whole file tree of a backup (ExportBKFileThread, as the file tree page runs it)
// against the shell tools a user could take instead: `openssl enc -d -aes-256-cbc` over every
// stored file of an encrypted backup in a shell loop, and `cp -r` of a plain backup's folder.
//   bench_extract_tree [FILES [BYTES]]      default 20,000 files of 52,429 bytes (1 GB)
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"
#include "notes_media/ui/ExportBKFileThread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
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

std::unique_ptr<BackupManifest> open(const QString& dir)
{
    auto m = std::make_unique<BackupManifest>(dir);
    m->readManifestInfo();
    if (m->IsEncrypted && !m->setPasscode("pw"))
        return nullptr;
    m->parseInfo();
    return m;
}

// Seconds of one whole-tree extraction, and the number of files written.
double extract(const BackupManifest& m, const QString& dest, qint64* written)
{
    QList<const BackupManifest::_FileNode*> nodes;
    for (const BackupManifest::_FileNode* n : m.rootNode()->children)
        nodes.append(n);
    QElapsedTimer t;
    t.start();
    ProgressForm form;
    form.setQuiet(true);
    ExportBKFileThread thread(&m, nodes, QDir(dest), &form);
    thread.start();
    form.exec();
    thread.wait();
    *written = thread.extractedFiles;
    return t.nsecsElapsed() / 1e9;
}

double shell(const QString& script)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start("bash", { "-c", script });
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

// A shell script that decrypts every stored file with openssl, one process per file.
QString opensslLoop(const BackupManifest& m, const QString& out)
{
    QString script = QStringLiteral("set -e\nmkdir -p '%1'\n").arg(out);
    int i = 0;
    std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
        for (const BackupManifest::_FileNode* c : n->children) {
            if (c->item.isFolder()) {
                walk(c);
                continue;
            }
            if (!QFileInfo::exists(m.storedFilePath(c->item)))
                continue;
            script += QStringLiteral("openssl enc -d -aes-256-cbc -K %1 -iv %2 -in '%3' -out '%4/%5'\n")
                          .arg(QString::fromLatin1(m.fileKey(c->item).toHex()), QString(32, '0'),
                              m.storedFilePath(c->item), out, QString::number(i++));
        }
    };
    walk(m.rootNode());
    return script;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int files = argc > 1 ? QString(argv[1]).toInt() : 20000;
    const int bytes = argc > 2 ? QString(argv[2]).toInt() : 52429;
    const bool plainOnly = argc > 3 && QString(argv[3]) == "plain"; // skips the slow openssl loop
    QTemporaryDir tmp;
    const QString enc = tmp.filePath("enc/0123456789abcdef0123456789abcdef01234567");
    const QString plain = tmp.filePath("plain/0123456789abcdef0123456789abcdef01234567");
    if (!generate(enc, files, bytes, true) || !generate(plain, files, bytes, false))
        return 1;
    auto em = open(enc);
    auto pm = open(plain);
    if (!em || !pm)
        return 1;
    qint64 written = 0;
    shell(QStringLiteral("find '%1' '%2' -type f -exec cat {} + > /dev/null")
              .arg(enc, plain)); // warm the page cache
    const double ours = extract(*em, tmp.filePath("out-enc"), &written);
    std::printf("files %d x %d bytes, cores %d\n", files, bytes, QThread::idealThreadCount());
    std::printf("extract encrypted tree: %.2f s, %lld files\n", ours, written);
    std::fflush(stdout);
    if (!plainOnly) {
        QFile script(tmp.filePath("openssl-loop.sh"));
        if (!script.open(QIODevice::WriteOnly))
            return 1;
        script.write(opensslLoop(*em, tmp.filePath("out-openssl")).toUtf8());
        script.close();
        const double openssl = shell(QStringLiteral("bash '%1'").arg(script.fileName()));
        std::printf("openssl wrote %s files\n",
            qPrintable(QString::number(QDir(tmp.filePath("out-openssl")).entryList(QDir::Files).size())));
        std::printf("openssl enc -d loop:    %.2f s\n", openssl);
        std::printf("ratio ours / openssl:   %.3f (goal <= 0.5)\n", ours / openssl);
    }
    // Fresh folders every run and nothing deleted in between: creating files where many were just
    // deleted costs the file system more, whoever comes next. The order alternates.
    double oursPlain = 1e9, cp = 1e9;
    for (int i = 0; i < 3; ++i) {
        const QString a = tmp.filePath(QStringLiteral("out-plain%1").arg(i));
        const QString b = tmp.filePath(QStringLiteral("out-cp%1").arg(i));
        if (i % 2)
            cp = std::min(cp, shell(QStringLiteral("cp -r '%1' '%2'").arg(plain, b)));
        oursPlain = std::min(oursPlain, extract(*pm, a, &written));
        if (!(i % 2))
            cp = std::min(cp, shell(QStringLiteral("cp -r '%1' '%2'").arg(plain, b)));
    }
    std::printf("extract plain tree:     %.2f s, %lld files\n", oursPlain, written);
    std::printf("cp -r plain backup:     %.2f s\n", cp);
    std::printf("ratio ours / cp -r:     %.3f (goal <= 1.5)\n", oursPlain / cp);
    std::fflush(stdout);
    return 0;
}
