// Fuzz entry point: a device bookmark database read through its reader into a tree, then counted
// and freed.
#include "FuzzDbFolder.h"
#include "backup/MBDBParser.h"
#include "notes_media/IOSBookmarkDb.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString name = MBDBParser::backupFileName(
        QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/Bookmarks.db"));
    IOSBookmarkDb db(nullptr, fuzzDbFolder(data, size, name));
    try {
        db.total();
        const QList<_Bookmark*> roots = db.bookmarks();
        _Bookmark::countOf(roots);
        qDeleteAll(roots);
    } catch (const std::exception&) {
    }
    return 0;
}
