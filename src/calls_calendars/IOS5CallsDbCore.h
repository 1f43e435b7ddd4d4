#pragma once

#include "calls_calendars/AbsCallsDbCore.h"
#include "messages/store/CountryLibDb.h"

#include <QHash>

// The older call database, call_history.db: the rows of table call.
class IOS5CallsDbCore : public AbsCallsDbCore
{
public:
    IOS5CallsDbCore();

    void openCheck(const QString& path) override;
    QList<_CallHistory> callHistories(IOSCallHistoryDb* owner) override;
    qint64 total(IOSCallHistoryDb* owner) override;
    qint64 saveCall(IOSCallHistoryDb* owner, const _CallHistory& call) override;
    void endSaveThrow() override { }

    // The kind of a stored row from its raw flags and answered values.
    CallHistoryFlag callFlag(int raw, int answered) const;
    // The raw flags to store for a kind; sets answered when the table has that column.
    int callRawFlag(CallHistoryFlag flag, int& answered) const;

    int clientVersion() const { return m_clientVersion; }

private:
    // The query of the list, which its count reads through too.
    QString listSql();
    bool hasColumn(const char* name) const { return m_columns.contains(QLatin1String(name)); }

    QHash<QString, _SqliteCol> m_columns;
    CountryLibDb m_country;
    int m_clientVersion = 0;
};
