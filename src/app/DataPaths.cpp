#include "app/DataPaths.h"

#include "app/FileNameFit.h"
#include "app/HeldFolder.h"
#include "app/MadeFolders.h"
#include "app/OwnFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMutex>
#include <QUrl>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

// The product folder holds the data folder unless a redirect names another base.
void makeOwnFolders(const QString& data, QString* why)
{
    if (QFileInfo(data).absolutePath() != g_defaultSaveDirPath()
        || OwnFolder::make(g_defaultSaveDirPath(), why))
        OwnFolder::make(data, why);
}

QString defaultDataDirPath()
{
    return QDir(g_defaultSaveDirPath()).absoluteFilePath(kDataFolder);
}

// Whether what stands at path, or the folder a link there leads to, belongs to another user.
bool othersAt(const QString& path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    return (::lstat(name.constData(), &st) == 0 && st.st_uid != ::geteuid())
        || (::stat(name.constData(), &st) == 0 && st.st_uid != ::geteuid());
}

// A redirect's data folder that another user holds, said once the log is there; else empty.
QString& refusedDataDir()
{
    static QString path;
    return path;
}

// The data folder's path, worked out once; the caller holds dataDirMutex(). What the program keeps
// is never put into a folder another user holds (one made first at a redirect's name in a shared
// folder, say): the default one serves instead.
QString fixedDataDirPath()
{
    if (g_curDataSaveDirPath.isEmpty()) {
        const QString base = g_dataSaveDirLink();
        const QString path = base.isEmpty() ? defaultDataDirPath() : QDir(base).absoluteFilePath(kDataFolder);
        if (path != defaultDataDirPath() && othersAt(path))
            refusedDataDir() = path;
        g_curDataSaveDirPath = refusedDataDir().isEmpty() ? path : defaultDataDirPath();
    }
    return g_curDataSaveDirPath;
}

void warnRefused()
{
    if (!refusedDataDir().isEmpty())
        qWarning("Not using %s as the data folder: it belongs to another user, who may read what is kept "
                 "there. Using %s instead.",
            qUtf8Printable(std::exchange(refusedDataDir(), QString())), qUtf8Printable(g_curDataSaveDirPath));
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

QDir g_dataSaveDir(QString* why)
{
    // Under the lock, so no thread uses the folder before it is closed. On every call: a folder
    // removed while the program runs may have been made again by a road that does not ask here.
    QMutexLocker lock(&dataDirMutex());
    if (why)
        why->clear();
    static QString closedPath;
    const QString path = fixedDataDirPath();
    const bool first = closedPath != path;
    closedPath = path;
    if (first)
        warnRefused();
    if (!QFileInfo(path).isDir())
        makeOwnFolders(path, why);
    if (OwnFolder::close(path, first) == OwnFolder::Found::Foreign && first)
        qWarning("The data folder %s belongs to another user, who may read what is kept there.",
            qUtf8Printable(path));
    OwnFolder::close(g_defaultSaveDirPath(), first);
    return QDir(path);
}

QDir g_localDbDir(QString* why)
{
    QString failure;
    const QString path = g_dataSaveDir(&failure).absoluteFilePath("local_databases");
    if (failure.isEmpty() && !QFileInfo(path).isDir())
        MadeFolders::makePath(path, &failure);
    if (why)
        *why = failure;
    return QDir(path);
}

namespace
{
// The folder name inside dir with what it holds, from descriptors and never through a link (a link
// goes as a link). A hidden entry stays, and keeps its folder.
void removeVisibleAt(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* list = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!list) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(list)) {
        if (entry->d_name[0] == '.')
            continue;
        if (::unlinkat(::dirfd(list), entry->d_name, 0) != 0 && (errno == EISDIR || errno == EPERM))
            removeVisibleAt(::dirfd(list), entry->d_name);
    }
    ::closedir(list);
    ::unlinkat(dir, name, AT_REMOVEDIR);
}
} // namespace

void g_delDirCascade(const QString& path)
{
    // From the folder it stands in, held: a folder on the way swapped meanwhile loses nothing.
    const QFileInfo info(path);
    const HeldFolder parent = HeldFolder::open(info.absolutePath());
    struct stat st;
    // A link to a folder is not the folder: never walk into what it points to.
    if (!parent.lstat(info.fileName(), &st) || !S_ISDIR(st.st_mode))
        return;
    removeVisibleAt(parent.fd(), HeldFolder::native(info.fileName()).constData());
}

QString g_getValidFilePath(const QString& given)
{
    const QFileInfo info(given);
    const QDir folder = info.dir();
    const QString name = FileNameFit::freeName(
        info.fileName(), [&](const QString& n) { return existsOrLink(folder.absoluteFilePath(n)); });
    return name == info.fileName() ? given : folder.absoluteFilePath(name);
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
    // A NUL ends a name where the system reads it: what follows would be lost, and names that
    // differ after it would be one file.
    static const QString forbidden = QString("\\/:*?\"<>|\n\r\t") + QChar(0);
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
