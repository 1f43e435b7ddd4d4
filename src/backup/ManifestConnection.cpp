#include "backup/ManifestConnection.h"

#include "app/sqlite/Sqlite3DB.h"

ManifestConnection::ManifestConnection() = default;

ManifestConnection::~ManifestConnection() = default;

void ManifestConnection::useThrow(
    const QString& path, bool immutable, const QString& loaded, const std::function<void(Sqlite3DB&)>& use)
{
    const QString openFor
        = path + QLatin1Char('\n') + QLatin1Char(immutable ? '1' : '0') + QLatin1Char('\n') + loaded;
    const std::lock_guard<std::mutex> hold(m_mutex);
    try {
        if (!m_db || openFor != m_openFor) {
            m_db.reset();
            auto db = std::make_unique<Sqlite3DB>();
            db->setForeign(true);
            db->openReadOnlyThrow(path, immutable);
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
