#pragma once

#include "messages/store/MsgHandle.h"
#include "messages/store/SqliteDeletedRowWalk.h"

class IOS6MessageDb;
class IProgressSink;
class MessageRecycleDb;

// One run of the recovery of deleted handles of a modern message database: whole cells of free
// table leaves, then rows carved with the five- and six-column handle shapes from every free page
// and every leaf of the live handle table; each handle not yet stored goes into the store of
// recovered messages with its source rowid, by which recovered messages find their sender.
class IOS6HandleRecovery
{
public:
    IOS6HandleRecovery(IOS6MessageDb& db, IProgressSink* progress);

    void run();

    // Whether a carved row can be a handle: 5 values or more and an SMS or iMessage service.
    static bool checkHandleRow(const _SqliteFileRowData& row);
    static QList<QList<_SqliteCol>> layouts();

private:
    void store(const _MsgHandle& handle);

    IOS6MessageDb& m_db;
    MessageRecycleDb& m_store;
    SqliteDeletedRowWalk m_walk;
};
