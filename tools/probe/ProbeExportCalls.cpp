#include "ProbeCallsSupport.h"
#include "ProbeCommand.h"
#include "ProbeWorker.h"
#include "calls_calendars/ui/ExportCallHistoryThread.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace
{

int runExportCalls(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    ProbeCalls::installEnglish();
    QStringList args = arguments;
    const QString format = ProbeCalls::takeOption(args, "--format");
    const QString password = ProbeCalls::takeOption(args, "--password");
    if (args.size() != 2 || (format != "csv" && format != "txt")) {
        err << "usage: qm-probe export-calls --format csv|txt [--password P] SRC OUT\n";
        return 2;
    }
    QString path = args.at(1);
    if (QFileInfo(path).suffix().compare(format, Qt::CaseInsensitive) != 0)
        path += "." + format; // the writer chooses the format by the suffix
    QTemporaryDir work;
    QString kind;
    const QList<_CallHistory> calls
        = ProbeCalls::openCallsThrow(args.first(), work.path(), password, &kind)->callHistories();
    return probeRunWorker(
        [&](ProgressForm& form) { return std::make_unique<ExportCallHistoryThread>(calls, path, &form); },
        out, err);
}

const ProbeCommand command("export-calls",
    "--format csv|txt [--password P] SRC OUT   export the calls of SRC through the export thread",
    runExportCalls);

} // namespace
