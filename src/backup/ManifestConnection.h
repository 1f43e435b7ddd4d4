#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class Sqlite3DB;

// One read-only connection to a backup's Manifest.db (or the program's private copy of it), shared
// by the reads of one command: the sampling of the stored files, the check of the table's shape,
// the first reading thread and the copies' lookups of keys. Each open loads the whole schema, which
// a crafted manifest makes large. It is opened at its first use and again only when the file at its
// path is no longer the one it opened; one thread at a time uses it, as SQLite requires of a
// connection.
class ManifestConnection
{
public:
    ManifestConnection();
    ~ManifestConnection();
    ManifestConnection(const ManifestConnection&) = delete;
    ManifestConnection& operator=(const ManifestConnection&) = delete;

    // Runs use with a foreign, read-only and immutable connection to path (a manifest is only read,
    // and a private copy is never written in place), opened through the block reading layer, which
    // reads as SQLite's own layer until a reading asks it for pages in place. A connection open to
    // another path, or to another file or content at it, is closed first. A connection whose use
    // threw is closed, so that the next use opens it afresh.
    void useThrow(const QString& path, const std::function<void(Sqlite3DB&)>& use);
    // Closes the connection, if one is open.
    void close();

private:
    std::mutex m_mutex;
    std::unique_ptr<Sqlite3DB> m_db;
    QString m_openFor; // the path and the stamp of the file it was opened on
};
