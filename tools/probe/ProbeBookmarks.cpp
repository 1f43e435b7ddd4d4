#include "ProbeCommand.h"
#include "ProbeNotesSupport.h"
#include "ProbeWorker.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/ui/ExportBookmarkThread.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <vector>

namespace
{

int folderCount(const QList<_Bookmark*>& list)
{
    int n = 0;
    std::vector<const _Bookmark*> pending(list.cbegin(), list.cend());
    while (!pending.empty()) {
        const _Bookmark* b = pending.back();
        pending.pop_back();
        n += b->isFolder ? 1 : 0;
        pending.insert(pending.end(), b->children.cbegin(), b->children.cend());
    }
    return n;
}

// The roots of a tree, deleted when the command ends, however it ends.
struct OwnedRoots {
    QList<_Bookmark*> roots;
    ~OwnedRoots() { qDeleteAll(roots); }
};

int runCounts(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe bookmarks SRC\n";
        return 2;
    }
    ProbeNotes::Work work;
    std::unique_ptr<IBookmarkDb> db = ProbeNotes::bookmarkSourceThrow(args[0], work);
    const OwnedRoots owned { db->bookmarks() };
    const QList<_Bookmark*>& roots = owned.roots;
    QJsonObject o;
    if (auto* ios = dynamic_cast<IOSBookmarkDb*>(db.get()))
        o["total"] = ios->total();
    else if (auto* local = dynamic_cast<LocalBookmarkDb*>(db.get()))
        o["total"] = local->total();
    o["shown"] = _Bookmark::countOf(roots);
    o["roots"] = int(roots.size());
    o["folders"] = folderCount(roots);
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
    const OwnedRoots owned { db->bookmarks() };
    return probeRunWorker(
        [&](ProgressForm& form) {
            return std::make_unique<ExportBookmarkThread>(owned.roots, args[1], &form);
        },
        out, err);
}

const ProbeCommand counts(
    "bookmarks", "SRC   (Bookmarks.db, backup folder or local database folder)", runCounts);
const ProbeCommand exporter("export-bookmarks", "SRC OUT.html", runExport);

} // namespace
