#include "ProbeCallsSupport.h"
#include "ProbeCommand.h"
#include "calls_calendars/IOSCalendarDb.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace
{

int runCalendars(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    ProbeCalls::installEnglish();
    QStringList args = arguments;
    const QString password = ProbeCalls::takeOption(args, "--password");
    if (args.size() != 1) {
        err << "usage: qm-probe calendars [--password P] SRC\n";
        return 2;
    }
    QTemporaryDir work;
    QString kind;
    std::unique_ptr<ICalendarDb> db
        = ProbeCalls::openCalendarsThrow(args.first(), work.path(), password, &kind);
    const QList<_Calendar> calendars = db->calendars();
    QJsonObject o;
    o["source"] = args.first();
    o["kind"] = kind;
    o["calendars"] = int(calendars.size());
    int events = 0, recurring = 0;
    for (const _Calendar& c : calendars) {
        events += int(c.events.size());
        for (const _CalEvent& e : c.events)
            recurring += !e.rrule.isEmpty();
    }
    o["events"] = events;
    o["recurring"] = recurring;
    if (auto* ios = dynamic_cast<IOSCalendarDb*>(db.get()))
        o["total"] = double(ios->total());
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("calendars",
    "[--password P] SRC   calendar and event counts of a backup, Calendar.sqlitedb or local database",
    runCalendars);

} // namespace
