#include "messages/store/MsgLoadCounts.h"

#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgTableLoader.h"

#include <algorithm>
#include <vector>

namespace
{
qint64 firstInt64Throw(Sqlite3DB& db, const char* sql)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

// The load keeps a row whose item type reads as 0 through the cursor: counted the same way,
// so that NULL, text and out-of-range types count as they load.
qint64 countMessagesThrow(Sqlite3DB& db, bool withItemType, bool typeFourInQuery)
{
    Sqlite3Sql sql(withItemType ? "select m.rowid, m.item_type from chat_message_join as j inner join "
                                  "message as m on j.message_id = m.rowid"
                                : "select m.rowid from chat_message_join as j inner join message as m on "
                                  "j.message_id = m.rowid");
    if (withItemType && typeFourInQuery)
        sql.appendSql(QStringLiteral(" and %1 <> 4").arg(QLatin1String(MsgTableLoader::kItemTypeSql)));
    Sqlite3Cursor c = db.queryThrow(sql);
    std::vector<qint64> rows;
    while (c.moveNext())
        if (!withItemType || c.getInt(1) == 0)
            rows.push_back(c.getInt64(0));
    std::sort(rows.begin(), rows.end());
    return std::unique(rows.begin(), rows.end()) - rows.begin();
}
} // namespace

MsgLoadCounts MsgLoadCounts::countThrow(Sqlite3DB& db, bool withItemType, bool typeFourInQuery)
{
    MsgLoadCounts n;
    n.chats = firstInt64Throw(db, "select count(*) from chat");
    n.handles = firstInt64Throw(db,
        "select count(distinct h.rowid) from chat_handle_join as j inner join handle as h on j.handle_id = "
        "h.rowid");
    n.messages = countMessagesThrow(db, withItemType, typeFourInQuery);
    n.attachments = firstInt64Throw(db,
        "select count(distinct ma.attachment_id) from message_attachment_join as ma inner join attachment "
        "as a on ma.attachment_id=a.rowid inner join chat_message_join as cm on ma.message_id=cm.message_id");
    return n;
}
