#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class Sqlite3DB;

// One read-only connection to a backup's Manifest.db, shared by the reads of one loaded manifest:
// a lookup per copied file would otherwise open the database, and load its schema, once per file.
// It is opened at its first use and again only when the manifest read changes; one thread at a
// time uses it, as SQLite requires of a connection.
class ManifestConnection
{
public:
    ManifestConnection();
    ~ManifestConnection();
    ManifestConnection(const ManifestConnection&) = delete;
    ManifestConnection& operator=(const ManifestConnection&) = delete;

    // Runs use with a foreign, read-only connection to path (immutable when so), the manifest as
    // loaded being told by loaded: a connection open to another path or loading is closed first.
    // A connection whose use threw is closed, so that the next use opens it afresh.
    void useThrow(const QString& path, bool immutable, const QString& loaded,
        const std::function<void(Sqlite3DB&)>& use);
    // Closes the connection, if one is open.
    void close();

private:
    std::mutex m_mutex;
    std::unique_ptr<Sqlite3DB> m_db;
    QString m_openFor; // the path, the way it was opened and the loading it was opened for
};
