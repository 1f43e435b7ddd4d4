#pragma once

#include "backup/BackupManifest.h"
#include "notes_media/IBookmarkDb.h"
#include "notes_media/INotesDb.h"

#include <QTemporaryDir>
#include <memory>

// Shared steps of the notes and bookmarks commands. SRC is a database file (copied as a backup's
// cached copy), a backup folder (its copy taken through the manifest, the password read from
// standard input when encrypted) or a local database folder (its store copied). Nothing is ever
// opened in place.
namespace ProbeNotes
{
struct Work {
    QTemporaryDir temp;
    std::unique_ptr<BackupManifest> manifest;
};
std::unique_ptr<IBookmarkDb> bookmarkSourceThrow(const QString& src, Work& work);
std::unique_ptr<INotesDb> notesSourceThrow(const QString& src, Work& work);
} // namespace ProbeNotes
