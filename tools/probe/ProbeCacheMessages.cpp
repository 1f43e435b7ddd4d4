#include "ProbeBackupSupport.h"
#include "ProbeCommand.h"
#include "ProbeWorker.h"
#include "backup/ui/ITunesCacheSMSThread.h"

namespace
{
// The message and address book folders copied into the backup's cache folder by the thread a load
// runs; the folder is printed after the load's own result, which may be an error naming files.
int run(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe cache-messages BACKUP\n";
        return 2;
    }
    std::unique_ptr<BackupManifest> m = ProbeBackup::openThrow(args[0], true, true);
    QString folder;
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            auto thread = std::make_unique<ITunesCacheSMSThread>(*m, form);
            folder = thread->cacheDir().absolutePath();
            return thread;
        },
        out, err);
    out << folder << "\n";
    ProbeBackup::releaseAtExit(std::move(m));
    return rc;
}

const ProbeCommand command("cache-messages",
    "BACKUP   copies the message and address book folders into the backup's cache folder as a load "
    "does, and prints that folder (password on standard input when encrypted)",
    run);
} // namespace
