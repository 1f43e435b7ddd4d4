#include "app/DataPaths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMutex>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

void warnNotClosed(const QString& path, int error)
{
    qWarning("Cannot close %s to other users: %s.", qUtf8Printable(path),
        qUtf8Printable(QString::fromLocal8Bit(std::strerror(error))));
}

// Makes path, one of the program's own folders, open to its owner only from the moment it exists;
// the folders above it are the user's, made as the user's umask has them. A failure is left to the
// callers that use the folder.
void makeOwnFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    ::mkdir(QFile::encodeName(path).constData(), 0700);
}

// The product folder holds the data folder unless a redirect names another base.
void makeOwnFolders(const QString& data)
{
    if (QFileInfo(data).absolutePath() == g_defaultSaveDirPath())
        makeOwnFolder(g_defaultSaveDirPath());
    makeOwnFolder(data);
}

// A link at path is the user's (a data folder moved to another disk): what it leads to is never
// changed through it, only named when others may open it.
void noteOwnFolderLink(const QString& path)
{
    struct stat target;
    if (::stat(QFile::encodeName(path).constData(), &target) == 0 && S_ISDIR(target.st_mode)
        && (target.st_mode & 077))
        qWarning("Left %s alone: it is a link, and the folder it leads to is open to other users.",
            qUtf8Printable(path));
}

// Closes path, one of the program's own folders, to group and others when an earlier version (or a
// road that made it again after it was removed) left it open, as ssh and GnuPG expect of their
// folders. Never fatal: a failure is logged with its reason, a link at the name only when first met.
void closeOwnFolder(const QString& path, bool first)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0) {
        const int error = errno;
        const bool link = ::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode);
        if (link && first)
            noteOwnFolderLink(path);
        else if (!link && error != ENOENT && first)
            warnNotClosed(path, error);
        return;
    }
    if (::fstat(fd, &st) != 0 || ((st.st_mode & 077) && ::fchmod(fd, st.st_mode & 07700) != 0)) {
        if (first)
            warnNotClosed(path, errno);
    }
    else if (st.st_mode & 077)
        qInfo("Closed %s to other users: its mode was %03o.", qUtf8Printable(path),
            unsigned(st.st_mode & 0777));
    ::close(fd);
}

// The data folder's path, worked out once; the caller holds dataDirMutex().
QString fixedDataDirPath()
{
    if (g_curDataSaveDirPath.isEmpty()) {
        QString base = g_dataSaveDirLink();
        if (base.isEmpty())
            base = g_defaultSaveDirPath();
        g_curDataSaveDirPath = QDir(base).absoluteFilePath(kDataFolder);
    }
    return g_curDataSaveDirPath;
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

QString g_dataSaveDirPath()
{
    QMutexLocker lock(&dataDirMutex());
    return fixedDataDirPath();
}

QDir g_dataSaveDir()
{
    // Under the lock, so no thread uses the folder before it is closed. On every call: a folder
    // removed while the program runs may have been made again by a road that does not ask here.
    QMutexLocker lock(&dataDirMutex());
    static QString closedPath;
    const QString path = fixedDataDirPath();
    if (!QFileInfo(path).isDir())
        makeOwnFolders(path);
    const bool first = closedPath != path;
    closedPath = path;
    closeOwnFolder(g_defaultSaveDirPath(), first);
    closeOwnFolder(path, first);
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
