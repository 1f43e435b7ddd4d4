#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"

#include <QElapsedTimer>

namespace
{

int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe unlock DIR\n";
        return 2;
    }
    auto m = ProbeBackup::openThrow(args[0], false, false);
    if (!m->IsEncrypted) {
        err << "qm-probe unlock: " << args[0] << " is not encrypted\n";
        return 1;
    }
    const QString password = ProbeBackup::readPassword();
    QElapsedTimer t;
    t.start();
    const bool ok = m->setPasscode(password);
    const double secs = double(t.nsecsElapsed()) / 1e9;
    out << (ok ? "ok" : "wrong password") << " " << QString::number(secs, 'f', 3) << " s\n";
    return ok ? 0 : 1;
}

const ProbeCommand command("unlock", "DIR   (password on standard input)", run);

} // namespace
