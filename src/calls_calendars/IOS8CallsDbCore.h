#pragma once

#include "app/sqlite/DbSchema.h"
#include "calls_calendars/AbsCallsDbCore.h"
#include "messages/store/CountryLibDb.h"

// The newer call store, CallHistory.storedata (a Core Data store): the rows of ZCALLRECORD, with
// the store's key bookkeeping in Z_PRIMARYKEY kept in step with the rows added.
class IOS8CallsDbCore : public AbsCallsDbCore
{
public:
    IOS8CallsDbCore();

    void openCheck(const QString& path) override;
    QList<_CallHistory> callHistories(IOSCallHistoryDb* owner) override;
    qint64 total(IOSCallHistoryDb* owner) override;
    qint64 saveCall(IOSCallHistoryDb* owner, const _CallHistory& call) override;
    void endSaveThrow() override;

    QList<Sqlite3Row> tableRows(const QString& table);

    // The unique id written for a call without one: MD5 of its hash text, upper-case, 8-4-4-4-12.
    static QString uniqueIdFor(const _CallHistory& call);

private:
    // The query of the list, which its count reads through too.
    QString listSql();
    qint64 nextKey();
    // The new ZCALLRECORD row of a call.
    Sqlite3Row rowFor(const _CallHistory& call, const QString& uid);
    bool hasColumn(const char* name) const
    {
        return m_schema.containsCol(QStringLiteral("ZCALLRECORD"), QString::fromLatin1(name));
    }

    int m_entity = -1; // Z_ENT of "CallRecord"; -1 when the store names none
    CountryLibDb m_country;
    DbSchema m_schema; // loaded by openCheck; tells which optional columns ZCALLRECORD has
};
