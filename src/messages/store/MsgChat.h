#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class Sqlite3Cursor;
class _MsgHandle;
class _MsgMessage;

// One conversation. The link tables point to records owned by MsgData.
class _MsgChat
{
public:
    _MsgChat() = default;

    // Two or more participants.
    bool isGroup() const { return _handles.size() >= 2; }
    // The given name, else the participants' names joined by ", ", else "Unknown".
    QString displayName(bool withId) const;

    qint64 rowid = 0;
    QString guid;
    int style = 45;
    int state = 3;
    QString account_id;
    QByteArray properties;
    QString chat_identifier;
    QString service_name = QStringLiteral("SMS");
    QString room_name;
    QString account_login = QStringLiteral("E:");
    int is_archived = 0;
    QString last_addressed_handle;
    QString display_name;
    int _last = 0;
    QString group_id;
    QHash<QString, _MsgHandle*> _handles;
    QHash<QString, _MsgMessage*> _messages;
};

// Copies the current row of a query over the chat table (rowid to group_id) into chat; a column
// the result lacks reads 0 or empty. The link tables are left alone.
void fillMsgChat(_MsgChat& chat, const Sqlite3Cursor& cursor);
// The columns fillMsgChat reads, for the select list of its query.
const QStringList& msgChatColumns();

// Newest conversation first. Equal dates keep their relative order (a strict weak order).
bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b);
