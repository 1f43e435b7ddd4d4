#pragma once

#include <QString>
#include <QStringList>

// Fixtures of the call-history and calendar tests: the project's generators run into temporary
// folders, and real fixtures copied into cache folders under their backup file ids.
namespace CallsFixtures
{
// Runs python3 with args; the standard output, or a null string (with a warning) on failure.
QString runPython(const QStringList& args, int timeoutMs = 300000);
// A generated call database (tools/gen/make_call_history.py) at a fresh path.
QString makeCallDb(const QStringList& args);
// A generated Calendar.sqlitedb (tools/gen/make_calendar_db.py) at a fresh path.
QString makeCalendarDb(const QStringList& args = {});
// A fresh cache folder holding copies of the given files under the given backup file ids
// (pairs of id, source path); a source that is empty is left out.
QString cacheWith(const QList<QPair<QString, QString>>& files);
// otapki-iphone's Calendar.sqlitedb in a cache folder: 130 floating all-day holidays, every one
// marked free; empty without ../shared.
QString otapkiCalendarCache();
// tracy-phone-2012's call_history.db and address book in a cache folder; empty without ../shared.
QString tracyCache();
} // namespace CallsFixtures
