#pragma once

#include <QString>

// The mark a name changed to fit a disk carries, made of the whole name it was changed from: "~"
// and 32 hex digits of its SHA-256, as a test expects to find it in a name written.
QString nameMark(const QString& name);
// The mark an earlier version gave a name it cut to fit a disk: "~" and 8 hex digits of its MD5.
QString earlierNameMark(const QString& name);
