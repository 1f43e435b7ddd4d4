#pragma once

#include "calls_calendars/ICalendarDb.h"
#include "calls_calendars/ICallHistoryDb.h"

#include <QString>
#include <memory>

// Opens the call-history or calendar source the probe is given, always over private copies in
// work (the given files are never opened in place): a backup folder (unlocked with password when
// encrypted), a cache folder of hashed files, a local database folder, or a single database file.
namespace ProbeCalls
{
std::unique_ptr<ICallHistoryDb> openCallsThrow(
    const QString& source, const QString& work, const QString& password, QString* kind);
std::unique_ptr<ICalendarDb> openCalendarsThrow(
    const QString& source, const QString& work, const QString& password, QString* kind);
// Installs the program's English texts once, so result messages read as the user sees them.
void installEnglish();
// Takes "--name value" out of args; empty when absent.
QString takeOption(QStringList& args, const QString& name);
} // namespace ProbeCalls
