#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// Fixtures of the notes and bookmarks tests: the project's generators run into temporary folders,
// and cache folders that hold a database under a backup's file name, as the backup loader leaves it.
namespace NotesFixtures
{
// Runs tools/gen/<script> with args and a fresh output path; returns that path, empty on failure.
QString generate(const QString& script, const QStringList& args, const QString& fileName);
// A fresh folder holding a copy of file under the backup file name of domain and rel.
QDir cacheWith(const QString& file, const QString& domain, const QString& rel);
QDir bookmarksCache(const QString& file);
QDir notesCache(const QString& file);
// Runs python3 with code and args; returns standard output, empty with a warning on failure.
QString python(const QString& code, const QStringList& args);
} // namespace NotesFixtures
