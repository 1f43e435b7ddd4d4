#include "ProbeBackupSupport.h"
#include "ProbeCallsSupport.h"
#include "ProbeCommand.h"
#include "ProbeWorker.h"
#include "backup/BackupManifest.h"
#include "calls_calendars/ui/CallsMergeRoad.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

int runMergeCalls(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    ProbeCalls::installEnglish();
    QStringList args = arguments;
    const QString password = ProbeCalls::takeOption(args, "--password");
    if (args.size() != 2) {
        err << "usage: qm-probe merge-calls SRC BACKUP [--password P]\n";
        return 2;
    }
    QTemporaryDir work;
    QString kind;
    // The calls come from SRC (its own password, if a backup, is read from standard input).
    const QList<_CallHistory> calls
        = ProbeCalls::openCallsThrow(args.at(0), work.path(), QString(), &kind)->callHistories();
    ProbeBackup::holdForRun(args.at(1), BackupFolderLock::Mode::Exclusive);
    BackupManifest manifest(QFileInfo(args.at(1)).absoluteFilePath());
    manifest.readManifestInfo();
    if (manifest.IsEncrypted && !manifest.setPasscode(password))
        throw std::runtime_error("wrong password");
    manifest.parseInfo();
    const int n
        = CallsMergeRoad::run(manifest, calls, [&](const QString&, const CallsMergeRoad::MakeWorker& make) {
              return probeRunWorker(make, out, err) == 0;
          });
    if (n < 0)
        return 1;
    out << "merged " << n << " calls\n";
    return 0;
}

const ProbeCommand command("merge-calls",
    "SRC BACKUP [--password P]   write the calls of SRC into the call database of BACKUP", runMergeCalls);

} // namespace
