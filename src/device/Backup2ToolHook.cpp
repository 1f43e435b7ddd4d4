#include "device/Backup2ToolHook.h"

#include "app/MadeFolders.h"

#include <QFileInfo>

namespace
{
// The error code of the two type conflicts of a copy and of removals and folders that failed.
const int kTypeConflict = 14;
} // namespace

Backup2ToolHook::~Backup2ToolHook() = default;

void Backup2ToolHook::beginThrow(QDir, QString) { }

bool Backup2ToolHook::onHandleMsgContinue(QDir, QString, PlistCFType, int&, QString&)
{
    return true;
}

QList<Backup2ToolHook::DirItem> Backup2ToolHook::dirContents(QDir root, QString path)
{
    QList<DirItem> items;
    QDir dir(root.absoluteFilePath(path));
    if (!dir.exists())
        return items;
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        DirItem item;
        item.name = entry.fileName();
        item.kind = entry.isDir() && !entry.isSymLink() ? 2 : 1;
        item.size = entry.size();
        item.modified = entry.lastModified();
        items.append(item);
    }
    return items;
}

void Backup2ToolHook::recvFileBegin(QDir, QString, QString, QString) { }

int Backup2ToolHook::recvFileOpenWrite(QDir root, QString path, QFile& file, QString& err)
{
    const QString target = root.absoluteFilePath(path);
    if (!MadeFolders::makePath(QFileInfo(target).absolutePath(), &err))
        return QFileDevice::OpenError;
    file.setFileName(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err = file.errorString();
        int code = file.error();
        return code != 0 ? code : QFileDevice::OpenError;
    }
    return 0;
}

void Backup2ToolHook::recvFileEnd(QDir, QString, unsigned long long) { }

int Backup2ToolHook::moveFile(QDir root, QString from, QString to, QString& err)
{
    const QString source = root.absoluteFilePath(from);
    const QString target = root.absoluteFilePath(to);
    QFileInfo sourceInfo(source);
    if (!sourceInfo.exists() && !sourceInfo.isSymLink())
        return 0;
    QFileInfo targetInfo(target);
    if (targetInfo.isDir() && !targetInfo.isSymLink())
        rmdir_recursive(target);
    else if (targetInfo.exists() || targetInfo.isSymLink())
        QFile::remove(target);
    if (!MadeFolders::makePath(QFileInfo(target).absolutePath(), &err))
        return QFileDevice::RenameError;
    QFile file(source);
    if (!file.rename(target)) {
        err = file.errorString();
        int code = file.error();
        return code != 0 ? code : QFileDevice::RenameError;
    }
    return 0;
}

int Backup2ToolHook::removeFile(QDir root, QString path, QString& err)
{
    const QString target = root.absoluteFilePath(path);
    QFileInfo info(target);
    if (!info.exists() && !info.isSymLink())
        return 0;
    if (info.isDir() && !info.isSymLink())
        rmdir_recursive(target);
    else
        QFile::remove(target);
    QFileInfo after(target);
    if (after.exists() || after.isSymLink()) {
        err = QStringLiteral("Could not remove %1.").arg(path);
        return QFileDevice::RemoveError;
    }
    return 0;
}

int Backup2ToolHook::copyFile(QDir root, QString from, QString to, QString& err)
{
    return copy_recursive(root.absoluteFilePath(from), root.absoluteFilePath(to), err);
}

int Backup2ToolHook::mkdir(QDir root, QString path, QString& err)
{
    const QString target = root.absoluteFilePath(path);
    QFileInfo info(target);
    if (info.exists() || info.isSymLink()) {
        if (info.isDir())
            return 0;
        err = QStringLiteral("Could not create folder %1: a file of that name exists.").arg(path);
        return kTypeConflict;
    }
    if (!MadeFolders::makePath(target, &err))
        return QFileDevice::WriteError;
    return 0;
}

void rmdir_recursive(const QString& path)
{
    QFileInfo self(path);
    if (self.isSymLink()) {
        QFile::remove(path);
        return;
    }
    QDir dir(path);
    if (!dir.exists())
        return;
    // Hidden and system entries are not listed, so a folder holding one stays (silently).
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            rmdir_recursive(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    dir.rmdir(dir.absolutePath());
}

int copy_recursive(const QString& from, const QString& to, QString& err)
{
    QFileInfo source(from);
    QFileInfo target(to);
    if (source.isSymLink())
        return 0;
    if (source.isFile()) {
        if (target.isDir()) {
            err = QStringLiteral("Destination is a folder.");
            return kTypeConflict;
        }
        if (target.exists() || target.isSymLink())
            QFile::remove(to);
        if (!MadeFolders::makePath(target.absolutePath(), &err))
            return QFileDevice::CopyError;
        QFile file(from);
        if (!file.copy(to)) {
            err = file.errorString();
            int code = file.error();
            return code != 0 ? code : QFileDevice::CopyError;
        }
        return 0;
    }
    if (source.isDir()) {
        if (target.isFile()) {
            err = QStringLiteral("Destination is a file.");
            return kTypeConflict;
        }
        if (!MadeFolders::makePath(to, &err))
            return QFileDevice::CopyError;
        const QFileInfoList entries
            = QDir(from).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo& entry : entries) {
            int result
                = copy_recursive(entry.absoluteFilePath(), QDir(to).absoluteFilePath(entry.fileName()), err);
            if (result != 0)
                return result;
        }
        return 0;
    }
    return 0;
}
