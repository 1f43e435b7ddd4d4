#include "ProbeCommand.h"
#include "ProbeMessageSource.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MessageRecycleDb.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

int runRecover(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe recover-messages SRC\n";
        return 2;
    }
    // SRC is read from a private copy (or, without a log, in place through read-only opens), and
    // the store of recovered messages is made in the private folder: nothing is written beside SRC.
    ProbeMessageSource source(args.first(), ProbeMessageSource::Access::LinkUnloggedSmsDb);
    const QDir work(source.work.path());
    const QString db = work.absoluteFilePath(kSmsRel);
    const int type = source.kind == "ios6" ? 6 : source.kind == "ios5" ? 5 : 0;
    QJsonObject o;
    qint64 messages = 0;
    qint64 handles = 0;
    if (type == 6) {
        IOS6MessageDb reader(work, _CountryInfo(), false);
        reader.recycleDeletedHandles(nullptr);
        reader.recycleDeletedMessages({}, nullptr);
        messages = reader.recycleDb()->messageCount();
        handles = reader.recycleDb()->handles().size();
    } else if (type == 5) {
        IOS5MessageDb reader(work, _CountryInfo());
        reader.recycleDeletedMessages(nullptr);
        messages = reader.recycleDb()->messageCount();
    } else {
        throw std::runtime_error(
            QStringLiteral("%1 is not a device message database").arg(args.first()).toStdString());
    }
    o["path"] = QFileInfo(args.first()).absoluteFilePath();
    o["schema"] = type == 6 ? "ios6" : "ios5";
    o["recovered_messages"] = double(messages);
    o["recovered_handles"] = double(handles);
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("recover-messages",
    "SRC   recovers deleted messages (and handles) of an sms.db or cache folder into a private store; counts "
    "as JSON",
    runRecover, ProbeCommand::App::Core);
} // namespace
