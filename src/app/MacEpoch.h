#pragma once

#include <QtGlobal>

// Seconds between 1970-01-01 and 2001-01-01, both UTC: device and Mac databases and property lists
// count their dates from 2001.
constexpr qint64 kMacEpochOffset = 978307200;
