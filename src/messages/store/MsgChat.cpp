#include "messages/store/MsgChat.h"

#include "app/sqlite/Sqlite3Cursor.h"
#include "messages/store/MsgHandle.h"

#include <QStringList>

QString _MsgChat::displayName(bool withId) const
{
    if (!display_name.isEmpty())
        return display_name;
    if (_handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* h : _handles)
        if (h)
            names << h->displayName(withId);
    return names.join(QStringLiteral(", "));
}

bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b)
{
    return a->_last > b->_last;
}

const QStringList& msgChatColumns()
{
    static const QStringList names { "rowid", "guid", "style", "state", "account_id", "properties",
        "chat_identifier", "service_name", "room_name", "account_login", "is_archived",
        "last_addressed_handle", "display_name", "_last", "group_id" };
    return names;
}

void fillMsgChat(_MsgChat& ch, const Sqlite3Cursor& c)
{
    ch.rowid = c.getInt64("rowid");
    ch.guid = c.getText("guid");
    ch.style = c.getInt("style");
    ch.state = c.getInt("state");
    ch.account_id = c.getText("account_id");
    ch.properties = c.getBlob("properties");
    ch.chat_identifier = c.getText("chat_identifier");
    ch.service_name = c.getText("service_name");
    ch.room_name = c.getText("room_name");
    ch.account_login = c.getText("account_login");
    ch.is_archived = c.getInt("is_archived");
    ch.last_addressed_handle = c.getText("last_addressed_handle");
    ch.display_name = c.getText("display_name");
    ch._last = c.getInt("_last");
    ch.group_id = c.getText("group_id");
}
