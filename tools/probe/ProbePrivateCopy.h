#pragma once

#include <QString>

// Copies a database file, with its "-wal", "-shm" and "-journal" where they stand beside it, into the probe's
// private temporary folder, so the original is never opened; the copies are the owner's to read
// and write. Throws std::runtime_error "can not copy <from>" when the database itself cannot be
// copied (a journal that cannot be copied is left out).
void probeCopyDbThrow(const QString& from, const QString& to);
