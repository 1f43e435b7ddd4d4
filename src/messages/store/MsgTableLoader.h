#pragma once

#include "messages/store/MsgMessageColumns.h"

#include <QHash>
#include <functional>
#include <vector>

class Sqlite3DB;
class __MsgData;
class _MsgAttachment;
class _MsgHandle;
class _MsgMessage;

// Loads the tables of the modern message schema (chat, handle, message, attachment and their join
// tables), which the device database of later systems and the Mac's chat.db share, into a message
// model. A row whose rowid the model already holds is not read again; only its links are added.
class MsgTableLoader
{
public:
    MsgTableLoader(Sqlite3DB& db, __MsgData& data);

    // Adds the chats of the chat table.
    void loadChats();
    // Adds the handles of the chats and puts them into their chats. created (when set) is called
    // for each handle made here, before it goes into a chat.
    void loadHandles(const std::function<void(_MsgHandle&)>& created);
    // Adds the messages of chat (every chat when 0), linked to their chats and handles. Only
    // messages of item type 0 are taken; withItemType says the table has that column, so that the
    // query can leave out type 4 rows. Only messages that have an attachment join keep their
    // attributed body (see MsgMessageColumns::Body). With chatLastDates each chat met also takes
    // the latest date of all its joined rows, of any item type, as _last (what a separate scan of
    // the join would give), in the same pass.
    void loadMessages(
        qint64 chat, bool withItemType, MsgMessageColumns::Dates dates, bool chatLastDates = false);
    // Adds the attachments of the messages of chat (every chat when 0) and puts them into their
    // messages. each is called for every row with its attachment and whether it was made here.
    void loadAttachments(qint64 chat, const std::function<void(_MsgAttachment&, bool created)>& each);

private:
    // Makes room in the model's message table and in each chat's for the rows loadMessages reads.
    void reserveForMessages(qint64 chat);
    // Rowids of the messages joined to an attachment, ascending.
    std::vector<qint64> messagesWithAttachments();
    // Links a message held under rowid to its sender (whose country fills an empty one), its other
    // handle and the chat chatId, as far as the model holds them.
    void linkMessage(qint64 rowid, _MsgMessage* message, qint64 chatId);
    // Sets each chat's _last from the latest stored date (seconds or nanoseconds) of its rows.
    void setChatLastDates(const QHash<qint64, qint64>& latest);

    Sqlite3DB& db;
    __MsgData& data;
};
