#pragma once

#include <QString>
#include <functional>
#include <memory>

class ContentDigest;
class QTemporaryDir;

// A plain Manifest.db is read as SQLite reads it, never as its file alone: in WAL mode it may have
// committed rows only in its log (Manifest.db-wal), left there by a program that had it open for
// writing; a program stopped in the middle of a change (or still in it) may have left half of that
// change in the file, and what it replaced in the journal (Manifest.db-journal). Reading the file
// as it is (immutable) would leave the log's rows out or read the half change; opening it in place
// would write into the backup folder. A private copy of the file with its log or journal, taken
// unchanged, and opened so that SQLite moves the log's rows in or plays the journal back, holds
// the last committed state.
class ManifestWalCopy
{
public:
    // The copy of dbPath as SQLite reads it, in a new temporary folder removed with it; null when
    // neither a non-empty log nor a journal that holds a transaction stands beside dbPath. The bytes
    // of dbPath are added to read, and those of the log to logRead (none when there is none), as
    // they are copied, when one is given. *without, when given, gets a text for the user when
    // dbPath is read without what stands at its journal's name (not a file), else is cleared.
    // Throws std::runtime_error when the copy cannot be made.
    static std::unique_ptr<QTemporaryDir> takeThrow(const QString& dbPath, ContentDigest* read = nullptr,
        ContentDigest* logRead = nullptr, QString* without = nullptr);
    static QString logOf(const QString& dbPath);
    // Called with the database's path once its file is copied, before what goes with it (tests
    // change the files there, as another program would); null for none.
    static void setWhileCopying(std::function<void(const QString& dbPath)> hook);
};
