#include "ProbeCommand.h"
#include "ProbeNotesSupport.h"
#include "ProbeWorker.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/ui/ExportNotesThread.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace
{

int runCounts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe notes SRC\n";
        return 2;
    }
    ProbeNotes::Work work;
    std::unique_ptr<INotesDb> db = ProbeNotes::notesSourceThrow(args[0], work);
    QJsonObject o;
    if (auto* ios = dynamic_cast<IOSNotesDb*>(db.get()))
        o["total"] = ios->total();
    else if (auto* local = dynamic_cast<LocalNotesDb*>(db.get()))
        o["total"] = local->total();
    o["notes"] = int(db->notes().size());
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return 0;
}

int runExport(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2) {
        err << "usage: qm-probe export-notes SRC DIR\n";
        return 2;
    }
    ProbeNotes::Work work;
    std::unique_ptr<INotesDb> db = ProbeNotes::notesSourceThrow(args[0], work);
    const QList<_Notes> notes = db->notes();
    return probeRunWorker(
        [&](ProgressForm& form) { return std::make_unique<ExportNotesThread>(notes, args[1], &form); }, out,
        err);
}

const ProbeCommand counts("notes", "SRC   (notes.sqlite, backup folder or local database folder)", runCounts);
const ProbeCommand exporter("export-notes", "SRC DIR", runExport);

} // namespace
