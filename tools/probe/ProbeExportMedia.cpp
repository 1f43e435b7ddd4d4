#include "ProbeCommand.h"
#include "ProbeMediaSupport.h"

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QString password, kind;
    bool hasPassword = false;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && i + 1 < args.size())
            kind = args[++i];
        else
            rest.append(args[i]);
    }
    const QStringList pos = ProbeMedia::positional(rest, &password, &hasPassword);
    if (pos.size() != 2 || kind.isEmpty()) {
        err << "usage: qm-probe export-media --kind KIND BACKUP DIR [--password P]\n";
        return 2;
    }
    if (kind == "photos" || kind == "videos")
        return ProbeMedia::exportCameraFiles(kind, pos[0], pos[1], password, hasPassword, out, err);
    err << "unknown kind " << kind << "\n";
    return 2;
}

const ProbeCommand command("export-media", "--kind photos|videos BACKUP DIR [--password P]", run);

} // namespace
