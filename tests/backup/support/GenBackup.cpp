#include "backup/support/GenBackup.h"

#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtDebug>

namespace GenBackup
{

QString make(const QStringList& args, const QString& folderName)
{
    const QString out = TestEnv::tempDir() + QLatin1Char('/') + folderName;
    QProcess p;
    p.start(QStringLiteral("python3"),
        QStringList { QStringLiteral(QM_TOOLS_DIR "/gen/make_backup.py") } + args + QStringList { out });
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        qWarning() << "generator failed:" << p.readAllStandardError();
        return {};
    }
    return out;
}

QString folderDigest(const QString& dir)
{
    QStringList lines;
    QDirIterator it(
        dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isDir()) {
            lines.append(QDir(dir).relativeFilePath(path) + QLatin1Char('/'));
            continue;
        }
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        lines.append(QDir(dir).relativeFilePath(path) + QLatin1Char(' ')
            + QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex()));
    }
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

} // namespace GenBackup
