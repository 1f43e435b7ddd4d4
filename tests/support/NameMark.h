#pragma once

#include <QString>

// The mark a name changed to fit a disk carries, made of the whole name it was changed from: "~"
// and 32 hex digits of its SHA-256, as a test expects to find it in a name written.
QString nameMark(const QString& name);
