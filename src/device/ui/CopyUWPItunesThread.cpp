#include "device/ui/CopyUWPItunesThread.h"

#include "app/MadeFolders.h"
#include "app/ui/shared/ProgressForm.h"

#include <QFile>

namespace
{
const char* const kMarker = "__CopyUWPItunesThread";
}

CopyUWPItunesThread::CopyUWPItunesThread(
    const QString& sourcePath, bool clearFirst, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , sourcePath(sourcePath)
    , clearFirst(clearFirst)
    , form(&form)
{
}

QString CopyUWPItunesThread::copyRoot()
{
    return QDir(QDir::homePath()).absoluteFilePath(QStringLiteral("quillmarrow_itunes/"));
}

QDir CopyUWPItunesThread::uwpItunesSaveDir(const QString& sourcePath)
{
    return QDir(QDir(copyRoot()).absoluteFilePath(QFileInfo(sourcePath).fileName()));
}

bool CopyUWPItunesThread::isUWPItunesCopied(const QDir& dir)
{
    return dir.exists(QString::fromLatin1(kMarker));
}

void CopyUWPItunesThread::run()
{
    form->invokeUpdateProgress(tr("Initiating iTunes..."), 99, QString());
    const QString root = copyRoot();
    if (clearFirst)
        delDirCascade(root);
    QString error;
    if (!copyFiles(QFileInfo(sourcePath), QDir(root), error)) {
        form->invokeErrorOccurred(tr("Can not copy iTunes files. %1").arg(error));
        return;
    }
    QFile marker(QDir(root).absoluteFilePath(QFileInfo(sourcePath).fileName() + QLatin1Char('/') + kMarker));
    marker.open(QIODevice::WriteOnly);
    marker.close();
    form->invokeSucceed(QString());
}

bool CopyUWPItunesThread::copyFiles(const QFileInfo& source, QDir destination, QString& error)
{
    if (!MadeFolders::makePath(destination.absolutePath(), &error))
        return false;
    if (source.isFile()) {
        form->invokeUpdateProgress(QString(), -1, source.fileName());
        const QString target = destination.absoluteFilePath(source.fileName());
        if (QFileInfo::exists(target))
            return true; // existing files are never overwritten
        QFile file(source.absoluteFilePath());
        if (!file.copy(target)) {
            error = file.errorString();
            return false;
        }
        return true;
    }
    if (source.isDir()) {
        const QFileInfoList entries
            = QDir(source.absoluteFilePath())
                  .entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        const QDir inner(destination.absoluteFilePath(source.fileName()));
        for (const QFileInfo& entry : entries) {
            if (!copyFiles(entry, inner, error))
                return false;
        }
        return true;
    }
    return true;
}

void CopyUWPItunesThread::delDirCascade(const QString& path)
{
    QDir dir(path);
    if (!dir.exists())
        return;
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            delDirCascade(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    dir.rmdir(dir.absolutePath());
}
