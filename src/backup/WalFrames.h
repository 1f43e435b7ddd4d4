#pragma once

#include <QtGlobal>

class QIODevice;

// The frames of an SQLite write-ahead log ("-wal"), read by their headers alone: which pages the
// log holds as committed by its writer, so that a database file shorter than its header gives is
// told apart from one whose missing pages its log still holds (caught in a checkpoint).
class WalFrames
{
public:
    // Whether log, the log of a database of pages of pageSize bytes, holds in committed frames of
    // its current run (the salts of its header) every page from first to last (1-based, inclusive).
    // False for anything that is no such log: another page size, a header alone, another file.
    static bool holdsPages(QIODevice& log, quint32 pageSize, quint32 first, quint32 last);
};
