#pragma once

#include "backup/BackupManifest.h"

#include <QByteArray>

// The files of a backup that the data pages read (messages, contacts, calendars, notes and the
// like) and the pictures and films of the camera folders, recognised by domain and path as the
// file tree is built, and kept in the manifest's members of their names.
class WellKnownFiles
{
public:
    // Whether a record with this path may be one of them: a quick test on the path alone that
    // spares note() nearly every record.
    static bool mayBe(const QByteArray& path);
    // Keeps node in the manifest when it is one of them (the first record of each well-known file).
    static void note(BackupManifest& manifest, BackupManifest::_FileNode* node);
    // Forgets them all, as the tree goes.
    static void clear(BackupManifest& manifest);
};
