#pragma once

#include "app/AbsLocalDb.h"
#include "calls_calendars/ICallHistoryDb.h"

#include <QHash>

// The program's own call-history store, "calls.db" in a local database folder: calls saved from
// backups without duplicates (by _CallHistory::toHash). Created from its schema and upgraded in
// place on open; every operation opens it first when needed.
class LocalCallHistoryDb : public AbsLocalDb, public ICallHistoryDb
{
public:
    explicit LocalCallHistoryDb(QString path);
    ~LocalCallHistoryDb() override;

    void create();
    void open() override;
    QList<_CallHistory> callHistories() override;
    qint64 total();
    qint64 insertCallHistory(const _CallHistory& call);
    void deleteCallHistory(qint64 id);
    void deleteDbFile();

private:
    void openIfNeeded()
    {
        if (!isOpened())
            open();
    }
    // A statement kept prepared across calls on the connection it was made on.
    struct CachedStmt {
        sqlite3_stmt* stmt = nullptr;
        sqlite3* on = nullptr;
    };
    sqlite3_stmt* preparedThrow(CachedStmt& cached, const char* sql);
    void finalizeStatements();

    QHash<QString, _SqliteCol> m_columns;
    CachedStmt m_find;
    CachedStmt m_insert;
};

// Runs a schema script of the resources on an open connection; throws with SQLite's message.
void runSchemaResourceThrow(Sqlite3DB& db, const QString& resource);
