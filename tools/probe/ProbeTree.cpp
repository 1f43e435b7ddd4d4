#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"

#include <functional>

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
    std::function<void(const BackupManifest::_FileNode*)> walk = [&](const BackupManifest::_FileNode* n) {
        for (const auto* c : n->children) {
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
            walk(c);
        }
    };
    walk(m->rootNode());
    out << "folders " << folders << "\nfiles " << files << "\nlinks " << links << "\nsize " << bytes << "\n";
    return 0;
}

const ProbeCommand command("tree", "DIR   (password on standard input when encrypted)", run);

} // namespace
