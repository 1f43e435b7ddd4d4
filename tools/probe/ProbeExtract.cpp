#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"
#include "app/WrittenDisks.h"

#include <QFileInfo>
#include <stdexcept>

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 4) {
        err << "usage: qm-probe extract DIR DOMAIN RELATIVEPATH OUT\n";
        return 2;
    }
    // Never overwrite: OUT could be a file of the backup itself.
    if (QFileInfo::exists(args[3]) || QFileInfo(args[3]).isSymLink())
        throw std::runtime_error(
            QStringLiteral("%1 already exists; give the name of a new file").arg(args[3]).toStdString());
    auto m = ProbeBackup::openThrow(args[0], true, true);
    const BackupManifest::_FileNode* node = m->findNode(args[1], args[2]);
    if (!node || node->implied)
        throw std::runtime_error(
            QStringLiteral("no record %1 %2 in the backup").arg(args[1], args[2]).toStdString());
    if (!node->item.isFile())
        throw std::runtime_error(QStringLiteral("%1 %2 is not a file").arg(args[1], args[2]).toStdString());
    m->copyFile(node, args[3], nullptr, nullptr);
    QString unsynced;
    if (!WrittenDisks::syncThisThread(&unsynced))
        throw std::runtime_error(unsynced.toStdString());
    out << "wrote " << args[3] << "\n";
    return 0;
}

const ProbeCommand command(
    "extract", "DIR DOMAIN RELATIVEPATH OUT   (password on standard input when encrypted)", run);

} // namespace
