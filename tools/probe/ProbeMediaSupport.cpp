#include "ProbeMediaSupport.h"

#include "ProbeBackupSupport.h"
#include "ProbePrivateCopy.h"
#include "backup/MBDBParser.h"

#include <QFileInfo>
#include <stdexcept>

namespace ProbeMedia
{

Args parseArgs(const QStringList& args)
{
    Args a;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--password" && i + 1 < args.size()) {
            a.password = args[++i];
            a.hasPassword = true;
        } else {
            a.positional.append(args[i]);
        }
    }
    return a;
}

void openThrow(const Args& args, const QString& src, const QString& domain, const QString& rel, Work& work)
{
    if (!work.temp.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    work.cache = QDir(work.temp.path());
    ProbeBackup::requireEnterable(src);
    const QFileInfo info(src);
    if (!info.exists())
        throw std::runtime_error(QStringLiteral("%1 does not exist").arg(src).toStdString());
    if (info.isFile()) {
        probeCopyDbThrow(src, work.cache.absoluteFilePath(MBDBParser::backupFileName(domain, rel)));
        return;
    }
    work.manifest = ProbeBackup::openThrow(src, false, false);
    if (work.manifest->IsEncrypted
        && !work.manifest->setPasscode(args.hasPassword ? args.password : ProbeBackup::readPassword()))
        throw std::runtime_error("wrong password");
    work.manifest->parseInfo();
    if (rel.isEmpty())
        return;
    const BackupManifest::_FileNode* node = work.manifest->findNode(domain, rel);
    if (node && !node->implied)
        work.manifest->copyFile(
            node, work.cache.absoluteFilePath(node->item.backupFileName()), nullptr, nullptr);
}

QList<const BackupManifest::_FileNode*> cameraFiles(const BackupManifest& m, bool videos)
{
    const QList<BackupManifest::_FileNode*>& list = videos ? m.videoList : m.photoList;
    return QList<const BackupManifest::_FileNode*>(list.begin(), list.end());
}

} // namespace ProbeMedia
