#pragma once

#include "messages/store/RecycleMsg.h"
#include "messages/store/SqliteDeletedRowWalk.h"

class IOS5MessageDb;
class IProgressSink;
class MessageRecycleDb;

// A message carved from an older device's database, with the conversation identifier and handle
// text it is filed under; its rowid is the source rowid.
using IOS5RecycleMsgItem = RecycleMsg;

// One run of the deleted-message recovery of an older device's message database: whole cells of
// free table leaves, then rows carved with the 33-, 32- and 17-column shapes of its message table
// (and the file's own table when it is another) from every free page and every leaf of the live table; each
// new message goes into the store of recovered messages inside one edit.
class IOS5MessageRecovery
{
public:
    IOS5MessageRecovery(IOS5MessageDb& db, IProgressSink* progress);

    void run();

    // Whether a carved row can be a message: a date, read 0 or 1, UIFlags 0, 4, 5 or 6, is_madrid 0 or 1.
    static bool checkMessageRow(const _SqliteFileRowData& row);
    static QList<QList<_SqliteCol>> layouts();

private:
    void recover();
    // A carving shape, and where its columns stand in the 33-column shape (empty: in place).
    struct Shape {
        _SqliteCarveShape shape;
        QList<int> order;
    };
    QList<IOS5RecycleMsgItem> carvePage(const _SqliteBtreePage& page, const QList<Shape>& shapes);
    void store(const IOS5RecycleMsgItem& item);
    bool isLive(const IOS5RecycleMsgItem& item);

    IOS5MessageDb& m_db;
    MessageRecycleDb& m_store;
    SqliteDeletedRowWalk m_walk;
};
