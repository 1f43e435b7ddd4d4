#include "ProbeCommand.h"
#include "ProbeNotesSupport.h"
#include "ProbeWorker.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/ui/ExportBookmarkThread.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

namespace
{

int folderCount(const QList<_Bookmark*>& list)
{
    int n = 0;
    for (const _Bookmark* b : list)
        n += b->isFolder ? 1 + folderCount(b->children) : 0;
    return n;
}

int runCounts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe bookmarks SRC\n";
        return 2;
    }
    ProbeNotes::Work work;
    std::unique_ptr<IBookmarkDb> db = ProbeNotes::bookmarkSourceThrow(args[0], work);
    const QList<_Bookmark*> roots = db->bookmarks();
    QJsonObject o;
    if (auto* ios = dynamic_cast<IOSBookmarkDb*>(db.get()))
        o["total"] = ios->total();
    else if (auto* local = dynamic_cast<LocalBookmarkDb*>(db.get()))
        o["total"] = local->total();
    o["shown"] = _Bookmark::countOf(roots);
    o["roots"] = int(roots.size());
    o["folders"] = folderCount(roots);
    qDeleteAll(roots);
    out << QJsonDocument(o).toJson(QJsonDocument::Compact) << "\n";
    return 0;
}

int runExport(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 2) {
        err << "usage: qm-probe export-bookmarks SRC OUT.html\n";
        return 2;
    }
    ProbeNotes::Work work;
    std::unique_ptr<IBookmarkDb> db = ProbeNotes::bookmarkSourceThrow(args[0], work);
    const QList<_Bookmark*> roots = db->bookmarks();
    const int rc = probeRunWorker(
        [&](ProgressForm& form) { return std::make_unique<ExportBookmarkThread>(roots, args[1], &form); },
        out, err);
    qDeleteAll(roots);
    return rc;
}

const ProbeCommand counts(
    "bookmarks", "SRC   (Bookmarks.db, backup folder or local database folder)", runCounts);
const ProbeCommand exporter("export-bookmarks", "SRC OUT.html", runExport);

} // namespace
