#include "ProbeCallsSupport.h"
#include "ProbeCommand.h"
#include "calls_calendars/IOSCallHistoryDb.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

int runCalls(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    ProbeCalls::installEnglish();
    QStringList args = arguments;
    const QString password = ProbeCalls::takeOption(args, "--password");
    if (args.size() != 1) {
        err << "usage: qm-probe calls [--password P] SRC\n";
        return 2;
    }
    QTemporaryDir work;
    QString kind;
    std::unique_ptr<ICallHistoryDb> db
        = ProbeCalls::openCallsThrow(args.first(), work.path(), password, &kind);
    const QList<_CallHistory> calls = db->callHistories();
    QJsonObject o;
    o["source"] = args.first();
    o["kind"] = kind;
    o["calls"] = int(calls.size());
    int in = 0, outgoing = 0, named = 0;
    for (const _CallHistory& c : calls) {
        in += c.flags == CallFlagIncoming;
        outgoing += c.flags == CallFlagOutgoing;
        named += !c.person.isEmpty();
    }
    o["incoming"] = in;
    o["outgoing"] = outgoing;
    o["other"] = int(calls.size()) - in - outgoing;
    o["with_contact"] = named;
    if (auto* ios = dynamic_cast<IOSCallHistoryDb*>(db.get()))
        o["total"] = double(ios->total());
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("calls",
    "[--password P] SRC   call counts of a backup, cache folder, local database or call database file",
    runCalls);

} // namespace
