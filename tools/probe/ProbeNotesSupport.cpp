#include "ProbeNotesSupport.h"

#include "ProbeBackupSupport.h"
#include "ProbePrivateCopy.h"
#include "backup/BackupCacheCopy.h"
#include "backup/MBDBParser.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/LocalNotesDb.h"

#include <QFileInfo>
#include <stdexcept>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

bool isBackup(const QDir& dir)
{
    return QFileInfo::exists(dir.absoluteFilePath("Manifest.db"))
        || QFileInfo::exists(dir.absoluteFilePath("Manifest.mbdb"));
}

// The cached copy of a backup's file in work, under its backup file name; returns the cache folder.
QDir cacheThrow(const QString& src, ProbeNotes::Work& work, const QString& domain, const QString& rel)
{
    if (!work.temp.isValid())
        fail("Cannot create a temporary folder");
    const QDir cache(work.temp.path());
    const QFileInfo info(src);
    if (info.isFile()) {
        probeCopyDbThrow(src, cache.absoluteFilePath(MBDBParser::backupFileName(domain, rel)));
        return cache;
    }
    work.manifest = ProbeBackup::openThrow(src, true, true);
    const BackupManifest::_FileNode* node = work.manifest->findNode(domain, rel);
    if (node && !node->implied)
        BackupCacheCopy::copyWithLogThrow(
            *work.manifest, node, cache.absoluteFilePath(node->item.backupFileName()));
    return cache;
}

} // namespace

namespace ProbeNotes
{

std::unique_ptr<IBookmarkDb> bookmarkSourceThrow(const QString& src, Work& work)
{
    ProbeBackup::requireEnterable(src);
    const QFileInfo info(src);
    if (!info.exists())
        fail(QStringLiteral("%1 does not exist").arg(src));
    if (info.isDir() && !isBackup(QDir(src))) {
        const QString copy = QDir(work.temp.path()).absoluteFilePath("bookmarks.db");
        probeCopyDbThrow(QDir(src).absoluteFilePath("bookmarks.db"), copy);
        return std::make_unique<LocalBookmarkDb>(copy);
    }
    const QDir cache = cacheThrow(src, work, "HomeDomain", "Library/Safari/Bookmarks.db");
    return std::make_unique<IOSBookmarkDb>(work.manifest.get(), cache);
}

std::unique_ptr<INotesDb> notesSourceThrow(const QString& src, Work& work)
{
    ProbeBackup::requireEnterable(src);
    const QFileInfo info(src);
    if (!info.exists())
        fail(QStringLiteral("%1 does not exist").arg(src));
    if (info.isDir() && !isBackup(QDir(src))) {
        const QString copy = QDir(work.temp.path()).absoluteFilePath("notes.db");
        probeCopyDbThrow(QDir(src).absoluteFilePath("notes.db"), copy);
        return std::make_unique<LocalNotesDb>(copy);
    }
    const QDir cache = cacheThrow(src, work, "HomeDomain", "Library/Notes/notes.sqlite");
    return std::make_unique<IOSNotesDb>(work.manifest.get(), cache);
}

} // namespace ProbeNotes
