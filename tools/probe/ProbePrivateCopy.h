#pragma once

#include <QString>

// Copies a file into the probe's private temporary folder: plain reads and writes, without the
// flush to disk a lasting copy would get (the folder goes when the command ends). False, and no
// file left at to, when the copy fails.
bool probeCopyPrivate(const QString& from, const QString& to);
