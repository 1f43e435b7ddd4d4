#include "app/sqlite/Sqlite3StmtCache.h"

#include "app/sqlite/Sqlite3DB.h"

Sqlite3StmtCache::Sqlite3StmtCache(Sqlite3DB& db)
    : m_db(db)
{
}

Sqlite3StmtCache::~Sqlite3StmtCache() = default;

Sqlite3Stmt& Sqlite3StmtCache::bound(const Sqlite3Sql& sql)
{
    std::shared_ptr<Sqlite3Stmt>& stmt = m_stmts[sql.sql()];
    if (!stmt) {
        const QByteArray utf8 = sql.sql().toUtf8();
        stmt = std::make_shared<Sqlite3Stmt>(m_db.handle, utf8.constData(), int(utf8.size()));
    }
    stmt->reset();
    sqlite3_clear_bindings(stmt->handle());
    for (int i = 0; i < sql.params().size(); ++i)
        stmt->bindThrow(i + 1, sql.params().at(i));
    return *stmt;
}

void Sqlite3StmtCache::execute(const Sqlite3Sql& sql)
{
    Sqlite3Stmt& stmt = bound(sql);
    while (stmt.stepThrow()) { }
    stmt.reset();
}

qint64 Sqlite3StmtCache::firstInt64(const Sqlite3Sql& sql)
{
    Sqlite3Stmt& stmt = bound(sql);
    const qint64 v = stmt.stepThrow() ? sqlite3_column_int64(stmt.handle(), 0) : 0;
    stmt.reset();
    return v;
}
