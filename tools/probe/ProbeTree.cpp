#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"

#include <vector>

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe tree DIR\n";
        return 2;
    }
    auto m = ProbeBackup::openThrow(args[0], true, true);
    qint64 folders = 0, files = 0, links = 0, bytes = 0;
    std::vector<const BackupManifest::_FileNode*> pending { m->rootNode() };
    while (!pending.empty()) {
        const BackupManifest::_FileNode* n = pending.back();
        pending.pop_back();
        for (const BackupManifest::_FileNode* c : n->children) {
            if (!c->implied) {
                if (c->item.isFolder())
                    ++folders;
                else if (c->item.isLink())
                    ++links;
                else {
                    ++files;
                    bytes += c->item.size;
                }
            }
            if (!c->children.isEmpty())
                pending.push_back(c);
        }
    }
    out << "folders " << folders << "\nfiles " << files << "\nlinks " << links << "\nsize " << bytes << "\n";
    // The process ends here: the system takes the tree back faster than freeing it node by node.
    ProbeBackup::releaseAtExit(std::move(m));
    return 0;
}

const ProbeCommand command(
    "tree", "DIR   (password on standard input when encrypted)", run, ProbeCommand::App::Core);

} // namespace
