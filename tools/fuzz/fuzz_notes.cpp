// Fuzz entry point: a device notes database read through its reader.
#include "FuzzDbFolder.h"
#include "backup/MBDBParser.h"
#include "notes_media/IOSNotesDb.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString name = MBDBParser::backupFileName(
        QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/notes.sqlite"));
    IOSNotesDb db(nullptr, fuzzDbFolder(data, size, name));
    try {
        db.total();
        db.notes();
    } catch (const std::exception&) {
    }
    return 0;
}
