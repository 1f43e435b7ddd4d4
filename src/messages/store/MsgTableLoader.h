#pragma once

#include "messages/store/MsgMessageColumns.h"

#include <QHash>
#include <functional>
#include <vector>

class Sqlite3Cursor;
class Sqlite3DB;
class Sqlite3Sql;
class MsgTableLoaderSplit;
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

    // A message row's item type in SQL over the message table as m, as a row is read (a 32-bit
    // integer): NULL, and text that is no number, are 0, an ordinary message.
    static constexpr char kItemTypeSql[] = "ifnull(cast(m.item_type as integer) & 4294967295, 0)";

    // Adds the chats of the chat table.
    void loadChats();
    // Adds the handles of the chats and puts them into their chats. created (when set) is called
    // for each handle made here, before it goes into a chat.
    void loadHandles(const std::function<void(_MsgHandle&)>& created);
    // What a load of messages read.
    struct MessageRows {
        qint64 joined = 0; // chat_message_join rows of the chat (or of all), counted first
        qint64 read = 0; // rows the message query gave
        qint64 plain = 0; // of them of item type 0: a message joined to two chats counts twice
    };
    // Adds the messages of chat (every chat when 0), linked to their chats and handles. Only
    // messages of item type 0 are taken; withItemType says the table has that column, so that the
    // query can leave out type 4 rows. Only messages that have an attachment join keep their
    // attributed body (see MsgMessageColumns::Body). With chatLastDates each chat met also takes
    // the latest date of all its joined rows, of any item type, as _last (what a separate scan of
    // the join would give), in the same pass.
    // A load of every message (chat 0) of at least splitFrom joined rows is read by two connections
    // at once, the second on its own thread; the model comes out the same as from one.
    MessageRows loadMessages(
        qint64 chat, bool withItemType, MsgMessageColumns::Dates dates, bool chatLastDates = false);
    // The plain messages (item type 0) a load of every chat reads from the tables themselves (see
    // setWithoutIndexes), its rows stepped through as it steps them: a value it cannot read (larger
    // than a foreign file may hand over) fails the count as it fails the load. The arguments are
    // those of loadMessages. Failures throw.
    static qint64 countPlainThrow(Sqlite3DB& db, bool withItemType, bool chatLastDates);
    // The least number of joined rows read by two connections (20,000 unless set).
    void setSplitFrom(qint64 rows) { splitFrom = rows; }
    // Makes loadMessages (and loadAttachments of every chat) read the message, attachment and join
    // tables themselves, none of their indexes (a damaged index hides rows from a query that reads
    // through it), on one connection.
    void setWithoutIndexes(bool without) { withoutIndexes = without; }
    // Adds the attachments of the messages of chat (every chat when 0) and puts them into their
    // messages. each is called for every row with its attachment and whether it was made here.
    void loadAttachments(qint64 chat, const std::function<void(_MsgAttachment&, bool created)>& each);

private:
    struct Row;
    struct Reading;
    class RowQueue;

    // Makes room in the model's message table and in each chat's for the rows loadMessages reads.
    // Returns the number of joined rows.
    qint64 reserveForMessages(qint64 chat);
    // Reads the rows of sql on this connection into the model.
    void loadRows(const Sqlite3Sql& sql, const Reading& reading, QHash<qint64, qint64>* latest);
    // Reads the rows up to the cut on this connection while another thread reads the rest on a
    // connection of its own; its rows then join the model in their order.
    void loadRowsSplit(const MsgTableLoaderSplit& split, const QString& sql, const Reading& reading,
        QHash<qint64, qint64>* latest);
    // What one joined row does to the model: the chat's latest date (with latest), then for a plain
    // message the record (fill makes it when the model lacks it) and its links.
    template <typename Fill> void takeRow(const Row& row, QHash<qint64, qint64>* latest, Fill fill);
    // Reads the rows of sql on a read-only connection of its own to path (foreign as the loader's),
    // handing them to queue with the records of their plain messages made in made (on the calling
    // thread).
    static void readRun(const QString& path, const Sqlite3Sql& sql, const Reading& reading, __MsgData& made,
        RowQueue& queue, bool foreign);
    static Row readRow(const Sqlite3Cursor& c, const MsgMessageColumns& cols, int chatCol, bool dated);
    // Fills a new record of the message of rowid from the current row.
    static void fillMessage(const Sqlite3Cursor& c, const MsgMessageColumns& cols, const Reading& reading,
        _MsgMessage& message, qint64 rowid);
    // The query of the messages of every chat; typeFourLeftOut leaves rows of item type 4 out.
    static QString messageSql(Sqlite3DB& db, bool typeFourLeftOut, bool withoutIndexes);
    // The select list of the message query: the join's chat and the message columns a record takes.
    static QString selectedColumns(Sqlite3DB& db);
    // True when a second connection to the file sees what this one does.
    bool mayReadAlongside() const;
    // Rowids of the messages joined to an attachment, ascending.
    std::vector<qint64> messagesWithAttachments();
    // Links a message held under rowid to its sender (whose country fills an empty one), its other
    // handle and the chat chatId, as far as the model holds them.
    void linkMessage(qint64 rowid, _MsgMessage* message, qint64 chatId);
    // Sets each chat's _last from the latest stored date (seconds or nanoseconds) of its rows.
    void setChatLastDates(const QHash<qint64, qint64>& latest);

    Sqlite3DB& db;
    __MsgData& data;
    qint64 splitFrom = 20000;
    bool withoutIndexes = false;
    MessageRows messageRows; // of the loadMessages running
};
