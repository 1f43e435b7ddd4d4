#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// The absolute, cleaned path of relative inside base, or an empty string when it would lead out
// of base (".." parts, an absolute path). Paths read from a database pass through here so that a
// crafted row can never point the program at files elsewhere.
QString msgConfinedPath(const QDir& base, const QString& relative);
// The names of a device path ("/var/mobile/..." or "~/...") below the file-relay folder relay,
// cleaned, as the phone gives them; empty when it would lead out of relay.
QStringList msgRelayParts(const QDir& relay, const QString& devicePath);
// The local file of a device path inside the file-relay folder relay, each name as KeptFileName
// finds it standing (the phone's own, else the fitted one; the file's own where a copy was set
// aside from another record's entry), or an empty string when it would lead out of relay.
QString msgRelayPath(const QDir& relay, const QString& devicePath);
// The place an earlier version named for the same device path (EarlierFileName), where local
// message stores it saved keep their attachment files; empty where that is its place now, or
// would lead out of relay.
QString msgEarlierRelayPath(const QDir& relay, const QString& devicePath);
// path (already inside folder by its text) when what it leads to lies inside folder too, or an
// empty string. Judged by canonical paths, not by whether a link is on the way: a link inside the
// folder that points out is refused, a folder that is itself reached through a link keeps working.
// A path to nothing stays, as reading it fails anyway, unless it is a link; absent, when given, then
// tells that nothing stands there.
QString msgSourcePath(const QDir& folder, const QString& path, bool* absent = nullptr);
