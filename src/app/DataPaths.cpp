#include "app/DataPaths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMutex>
#include <QUrl>

QString g_curDataSaveDirPath;

namespace
{

const char* const kProductFolder = "QuillMarrow";
const char* const kDataFolder = "7C2E41A9D05B38F6E19A4C7D2B60F853";

// Start-up fills the cache before any worker exists; the lock keeps a late first call safe too.
QMutex& dataDirMutex()
{
    static QMutex mutex;
    return mutex;
}

QString redirectFilePath()
{
    return g_osAppDir().absoluteFilePath(QString("%1/%2.redirect").arg(kProductFolder, kDataFolder));
}

bool existsOrLink(const QString& path)
{
    QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool openWithDesktop(const QUrl& url)
{
    // The desktop services need the GUI application; headless callers get a log line instead.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        qWarning("cannot open %s without a desktop session", qPrintable(url.toDisplayString()));
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        qWarning("the desktop could not open %s", qPrintable(url.toDisplayString()));
        return false;
    }
    return true;
}

} // namespace

QDir g_osAppDir()
{
    return QDir(QDir(QDir::homePath()).absoluteFilePath("Library/Application Support"));
}

QString g_defaultSaveDirPath()
{
    return g_osAppDir().absoluteFilePath(kProductFolder);
}

QString g_dataSaveDirLink()
{
    QFile file(redirectFilePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const int nul = int(bytes.indexOf('\0'));
    if (nul >= 0)
        bytes.truncate(nul);
    const QString path = QString::fromUtf8(bytes);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return QString();
    return path;
}

void g_setDataSaveDirLink(const QString& path)
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(path.toUtf8());
    file.flush();
    file.close();
}

QDir g_dataSaveDir()
{
    QString path;
    {
        QMutexLocker lock(&dataDirMutex());
        if (g_curDataSaveDirPath.isEmpty()) {
            QString base = g_dataSaveDirLink();
            if (base.isEmpty())
                base = g_defaultSaveDirPath();
            g_curDataSaveDirPath = QDir(base).absoluteFilePath(kDataFolder);
        }
        path = g_curDataSaveDirPath;
    }
    QDir().mkpath(path);
    return QDir(path);
}

QDir g_localDbDir()
{
    const QString path = g_dataSaveDir().absoluteFilePath("local_databases");
    if (!QFileInfo(path).isDir())
        QDir().mkpath(path);
    return QDir(path);
}

void g_delDirCascade(const QString& path)
{
    QFileInfo info(path);
    if (!info.isDir() || info.isSymLink()) {
        // A link to a folder is not the folder: never walk into what it points to.
        return;
    }
    QDir dir(path);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            g_delDirCascade(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    QDir().rmdir(dir.absolutePath());
}

QString g_getValidFilePath(const QString& path)
{
    if (!existsOrLink(path))
        return path;
    const QFileInfo info(path);
    const QString stem = info.baseName();
    const QString suffix = info.suffix();
    const QString folder = info.absolutePath();
    for (qint64 n = 1;; ++n) {
        QString name = QString("%1(%2)").arg(stem).arg(n);
        if (!suffix.isEmpty())
            name += "." + suffix;
        const QString candidate = QDir(folder).absoluteFilePath(name);
        if (!existsOrLink(candidate))
            return candidate;
    }
}

bool g_openFileOrFolder(const QString& path)
{
    return openWithDesktop(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool g_openLink(const QString& address)
{
    return openWithDesktop(QUrl::fromUserInput(address));
}

QString g_formatFileName(const QString& name)
{
    static const QString forbidden = QString("\\/:*?\"<>|\n\r\t");
    QString result;
    result.reserve(name.size());
    for (const QChar c : name) {
        if (!forbidden.contains(c))
            result.append(c);
    }
    return result.trimmed();
}

QString g_pathHash(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString g_bubbleDir()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/bubble");
    if (QFileInfo(beside).isDir())
        return beside;
    return QStringLiteral(QM_BUBBLE_SOURCE_DIR);
}
