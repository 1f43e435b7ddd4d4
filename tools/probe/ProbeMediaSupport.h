#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// Shared steps of the media commands (voicemail, recordings, export-media). SRC is a backup folder
// (unlocked with --password P, else with the password read from standard input) or, for the
// listings, the database file itself. The database is read from a copy in a temporary cache
// folder, as the backup loader leaves it for the pages; nothing is opened in place.
namespace ProbeMedia
{
struct Work {
    QTemporaryDir temp;
    std::unique_ptr<BackupManifest> manifest; // null when SRC was a database file
    QDir cache;
};

// Splits off "--password P"; the rest are the positional arguments.
struct Args {
    QStringList positional;
    QString password;
    bool hasPassword = false;
};
Args parseArgs(const QStringList& args);

// Opens SRC and places the copy of the database domain/rel (none when rel is empty) in work.cache. Throws
// std::runtime_error with a clear text.
void openThrow(const Args& args, const QString& src, const QString& domain, const QString& rel, Work& work);

// The backup's camera pictures, or its camera movies, as the photo and video pages list them.
QList<const BackupManifest::_FileNode*> cameraFiles(const BackupManifest& m, bool videos);
} // namespace ProbeMedia
