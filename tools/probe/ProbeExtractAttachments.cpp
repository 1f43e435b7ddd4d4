#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "ProbeWorker.h"
#include "messages/store/MsgData.h"
#include "messages/ui/AttachmentExtractThread.h"

namespace
{
int runExtractAttachments(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2) {
        err << "usage: qm-probe extract-attachments SRC DIR\n";
        return 2;
    }
    ProbeMessageSource source(args.at(0));
    MsgData data;
    source.load(data);
    const QList<_MsgMessage*> messages = data.messages();
    const QString target = args.at(1);
    return probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<AttachmentExtractThread>(&form, messages, target, nullptr);
        },
        out, err);
}

const ProbeCommand command("extract-attachments",
    "SRC DIR   copy every attachment file of SRC (as for messages) into folder DIR, dated as its message",
    runExtractAttachments);
} // namespace
