#pragma once

#include "app/AbsLocalDb.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "calls_calendars/ICallHistoryDb.h"

#include <QHash>
#include <functional>

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
    // Saves calls in their order, as insertCallHistory does one by one (a call whose hash the
    // store or an earlier call of the list holds is skipped). before(i) runs ahead of the i-th
    // call and may throw to stop; inside an edit, rolling it back then leaves the store as it was.
    void insertCallHistories(const QList<_CallHistory>& calls, const std::function<void(qsizetype)>& before);
    void deleteCallHistory(qint64 id);
    void deleteDbFile();

private:
    void openIfNeeded()
    {
        if (!isOpened())
            open();
    }
    qint64 findThrow(const QByteArray& hash); // the _id of a stored call with the hash, else 0
    qint64 insertRow(const _CallHistory& call, const QByteArray& hash);

    QHash<QString, _SqliteCol> m_columns;
    // Saving many calls costs one lookup and one insert each, prepared once per connection.
    Sqlite3StmtCache m_stmts { db };
};

// Runs a schema script of the resources on an open connection; throws with SQLite's message.
void runSchemaResourceThrow(Sqlite3DB& db, const QString& resource);
