#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "calls_calendars/_CallHistory.h"

#include <QList>
#include <QString>

class IOSCallHistoryDb;

// The back end of one generation of a backup's call database; itself the connection to that
// file. The owner runs the transactions on it directly. SQL failures throw std::runtime_error.
class AbsCallsDbCore : public Sqlite3DB
{
public:
    ~AbsCallsDbCore() override = default;

    // Opens the file when the connection is closed and reads what the core needs of its schema.
    virtual void openCheck(const QString& path) = 0;
    // Every call, newest first, each with person from the owner's number-to-name table.
    virtual QList<_CallHistory> callHistories(IOSCallHistoryDb* owner) = 0;
    virtual qint64 total(IOSCallHistoryDb* owner) = 0;
    // Writes the call unless the database already holds it; the row id of the new or found row.
    virtual qint64 saveCall(IOSCallHistoryDb* owner, const _CallHistory& call) = 0;
    // Brings the file's own bookkeeping up to date after the last saveCall, before the commit.
    virtual void endSaveThrow() = 0;
};
