#pragma once

#include <sqlite3.h>

// Counts the opens of a database named Manifest.db (a backup's own or a private copy of it), as
// long as it lives: at SQLite's own file layer, which the block reading layer opens files through.
// One at a time.
class ManifestOpens
{
public:
    ManifestOpens();
    ~ManifestOpens();
    ManifestOpens(const ManifestOpens&) = delete;
    ManifestOpens& operator=(const ManifestOpens&) = delete;
    int count() const;

private:
    sqlite3_vfs* m_vfs;
};
