#include "backup/ManifestConnection.h"

#include "app/sqlite/BlockReadVfs.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"

#include <sqlite3.h>

ManifestConnection::ManifestConnection() = default;

ManifestConnection::~ManifestConnection() = default;

void ManifestConnection::useThrow(const QString& path, const std::function<void(Sqlite3DB&)>& use)
{
    // An immutable connection never looks at its file again: one written or replaced since it was
    // opened is opened afresh.
    const QString openFor = path + QLatin1Char('\n') + BackupCacheCopy::stampOf(path);
    const std::lock_guard<std::mutex> hold(m_mutex);
    try {
        if (!m_db || openFor != m_openFor) {
            m_db.reset();
            auto db = std::make_unique<Sqlite3DB>();
            db->setForeign(true);
            // Used by one thread at a time under the lock: SQLite's own lock is not needed.
            db->openThrow(Sqlite3DB::immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                BlockReadVfs::name());
            m_db = std::move(db);
            m_openFor = openFor;
        }
        use(*m_db);
    } catch (...) {
        // A failed read (a cancel, a damaged page, a disk that failed) leaves nothing behind.
        m_db.reset();
        throw;
    }
}

void ManifestConnection::close()
{
    const std::lock_guard<std::mutex> hold(m_mutex);
    m_db.reset();
}
