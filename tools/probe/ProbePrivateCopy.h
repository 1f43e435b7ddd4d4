#pragma once

#include <QString>

// Copies a database file, with its "-wal", "-shm" and "-journal" where they stand beside it, into
// the probe's private temporary folder, so the original is never opened; the copies are the
// owner's to read and write. A rollback journal left by a write that never finished is rolled back
// on the copy, as SQLite would on the original (see RollbackJournal: no name it holds is followed,
// and a huge one costs only what SQLite reads of it). Throws std::runtime_error "Cannot copy <from>.
// <why>" when the database itself cannot be copied, such as one that is not a regular file (a
// journal that cannot be copied is left out), or SQLite's complaint about the copy, naming from.
void probeCopyDbThrow(const QString& from, const QString& to);

// A private copy (with its logs) of a database file in work, for telling what the file is before
// it is read: the original is never opened. Returns the copy's path; throws as probeCopyDbThrow.
QString probeStageDbThrow(const QString& from, const QString& work);

// Moves a private copy made by probeCopyDbThrow or probeStageDbThrow, with its logs, to another
// name in the private folder: a file staged to tell its kind is read there without a second copy.
void probeMoveDbThrow(const QString& from, const QString& to);
