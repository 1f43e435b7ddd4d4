#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "ProbeWorker.h"
#include "app/LeaveAtExit.h"
#include "messages/store/MsgData.h"
#include "messages/ui/ExportMessagesThread.h"

#include <QHash>
#include <stdexcept>

namespace
{
int runExportMessages(const QStringList& args, QTextStream& out, QTextStream& err)
{
    static const QHash<QString, ExportMessagesThread::FormatType> formats
        = { { "txt", ExportMessagesThread::Txt }, { "csv", ExportMessagesThread::Csv },
              { "html", ExportMessagesThread::Html }, { "pdf", ExportMessagesThread::Pdf } };
    if (args.size() != 4 || args[0] != "--format" || !formats.contains(args[1])) {
        err << "usage: qm-probe export-messages --format txt|csv|html|pdf SRC OUT\n";
        return 2;
    }
    ProbeMessageSource source(args[2]);
    auto loaded = std::make_unique<MsgData>();
    MsgData& data = *loaded;
    source.load(data);

    QStringList written;
    const int rc = probeRunWorker(
        [&](ProgressForm& form) {
            auto thread
                = std::make_unique<ExportMessagesThread>(data.messages(), args[3], formats[args[1]], form);
            QObject::connect(
                thread.get(), &QThread::finished, thread.get(),
                [&written, t = thread.get()] { written = t->writtenFiles(); }, Qt::DirectConnection);
            return thread;
        },
        out, err);
    if (rc == 0)
        for (const QString& file : std::as_const(written))
            out << file << "\n";
    leaveAtExit(std::move(loaded));
    return rc;
}

const ProbeCommand command("export-messages",
    "--format txt|csv|html|pdf SRC OUT   every conversation of SRC (as for messages) exported to OUT",
    runExportMessages);
} // namespace
