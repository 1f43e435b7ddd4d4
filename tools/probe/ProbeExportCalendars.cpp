#include "ProbeCallsSupport.h"
#include "ProbeCommand.h"
#include "ProbeWorker.h"
#include "calls_calendars/ui/ExportCalendarThread.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace
{

int runExportCalendars(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    ProbeCalls::installEnglish();
    QStringList args = arguments;
    const QString format = ProbeCalls::takeOption(args, "--format");
    const QString password = ProbeCalls::takeOption(args, "--password");
    if (args.size() != 2 || (format != "ics" && format != "csv")) {
        err << "usage: qm-probe export-calendars --format ics|csv [--password P] SRC OUT\n";
        return 2;
    }
    QString path = args.at(1);
    if (QFileInfo(path).suffix().compare(format, Qt::CaseInsensitive) != 0)
        path += "." + format;
    QTemporaryDir work;
    QString kind;
    QList<_CalEvent> events;
    for (const _Calendar& c :
        ProbeCalls::openCalendarsThrow(args.first(), work.path(), password, &kind)->calendars())
        events += c.events;
    return probeRunWorker(
        [&](ProgressForm& form) { return std::make_unique<ExportCalendarThread>(events, path, &form); }, out,
        err);
}

const ProbeCommand command("export-calendars",
    "--format ics|csv [--password P] SRC OUT   export the events of SRC through the export thread",
    runExportCalendars);

} // namespace
