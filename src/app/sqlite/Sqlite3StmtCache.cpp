#include "app/sqlite/Sqlite3StmtCache.h"

#include "app/sqlite/Sqlite3DB.h"

namespace
{

// Leaves the statement reset however the step ends, so it holds no read lock between uses.
class ResetOnExit
{
public:
    explicit ResetOnExit(Sqlite3Stmt& stmt)
        : m_stmt(stmt)
    {
    }
    ~ResetOnExit() { m_stmt.reset(); }

private:
    Sqlite3Stmt& m_stmt;
};

} // namespace

Sqlite3StmtCache::Sqlite3StmtCache(Sqlite3DB& db)
    : m_db(db)
{
}

Sqlite3StmtCache::~Sqlite3StmtCache() = default;

void Sqlite3StmtCache::clear()
{
    m_stmts.clear();
    m_handle = nullptr;
}

Sqlite3Stmt& Sqlite3StmtCache::prepared(const QString& sql)
{
    if (m_handle != m_db.handle) {
        clear();
        m_handle = m_db.handle;
    }
    std::shared_ptr<Sqlite3Stmt>& stmt = m_stmts[sql];
    if (!stmt) {
        const QByteArray utf8 = sql.toUtf8();
        stmt = std::make_shared<Sqlite3Stmt>(m_db.handle, utf8.constData(), int(utf8.size()));
    }
    stmt->reset();
    stmt->clearBindings();
    return *stmt;
}

Sqlite3Stmt& Sqlite3StmtCache::bound(const Sqlite3Sql& sql)
{
    Sqlite3Stmt& stmt = prepared(sql.sql());
    for (int i = 0; i < sql.params().size(); ++i)
        stmt.bindThrow(i + 1, sql.params().at(i));
    return stmt;
}

void Sqlite3StmtCache::execute(const Sqlite3Sql& sql)
{
    execute(bound(sql));
}

qint64 Sqlite3StmtCache::firstInt64(const Sqlite3Sql& sql)
{
    return firstInt64(bound(sql));
}

void Sqlite3StmtCache::execute(Sqlite3Stmt& stmt)
{
    ResetOnExit reset(stmt);
    while (stmt.stepThrow()) { }
}

qint64 Sqlite3StmtCache::firstInt64(Sqlite3Stmt& stmt)
{
    ResetOnExit reset(stmt);
    return stmt.stepThrow() ? sqlite3_column_int64(stmt.handle(), 0) : 0;
}
