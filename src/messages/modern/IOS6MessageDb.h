#pragma once

#include "messages/store/AbsIOSMessageDb.h"
#include "messages/store/CountryInfo.h"
#include "messages/store/CountryLibDb.h"
#include "messages/store/IOSContactsMemDb.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgLoadCounts.h"

#include <QDir>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <sqlite3.h>

class _MsgAttachment;
class _MsgChat;
class _MsgHandle;
class _MsgMessage;
class MsgColumnSink;
class MsgTableLoader;
class __MsgData;

// The modern message database (iOS 6 and later sms.db; also the local message store and the
// message export database) at folder/file-relay/var/mobile/Library/SMS/sms.db. Opens on first use.
// A missing file is created from the schema resource only when the object may upgrade (a store of
// the program's own); a backup's database that is not there is an error, never an empty new file.
class IProgressSink;
class IOS6WriteTally;
struct _SqliteFileRowData;

class IOS6MessageDb : public AbsIOSMessageDb
{
public:
    IOS6MessageDb(const QDir& dir, const _CountryInfo& country, bool upgrade);
    ~IOS6MessageDb() override = default;

    void openCheck() override;
    void chats(MsgData& data) override;
    void messages(MsgData& data, qint64 chat) override;
    int type() const override { return 6; }

    // Copies the current row of a message query into message (dates in seconds since 2001).
    void fillMessage(Sqlite3Cursor& row, _MsgMessage& message);

    MessageRecycleDb* recycleDb() { return &recycleStore; }
    void setIOSDbPath(const QString& path) { dbPath = path; }
    const QString& iosDbPath() const { return dbPath; }
    // True when the message table has the column item_type (as last opened).
    bool isItemTypeEnabled() const;

    // Lookups: the row's ROWID, or 0 when there is none.
    qint64 findChat(const QString& guid);
    qint64 findHandle(const _MsgHandle& handle);
    bool isHandleBelong2Chat(qint64 chatId, qint64 handleId);
    qint64 findMessage(const QString& guid);
    qint64 findMessageHash(const _MsgMessage& message);
    qint64 findAttachment(const _MsgAttachment& attachment);

    // Writers; the callers wrap them in one edit (beginEdit/endEdit). With a tally set, each row
    // and join they write is counted in it (nullptr: none).
    void setWriteTally(IOS6WriteTally* tally) { writeTally = tally; }
    qint64 insertChatAndHandles(const _MsgChat& chat);
    qint64 insertHandle(const _MsgHandle& handle);
    void joinChatHandle(qint64 chatId, qint64 handleId);
    void updateChatLastHandle(qint64 chatId, const QString& handle);
    void updateChatLastDate21(qint64 chatId, int date);
    qint64 insertMessage(
        const _MsgMessage& message, qint64 handleId, qint64 otherHandleId, QString logicHash);
    // The row insertMessage writes, for writers that insert through a statement of their own.
    Sqlite3Row messageRow(
        const _MsgMessage& message, qint64 handleId, qint64 otherHandleId, QString logicHash);
    // The same columns and values in insert order, handed one by one to put.
    void messageColumns(const _MsgMessage& message, qint64 handleId, qint64 otherHandleId,
        const QString& logicHash, MsgColumnSink& put);
    // True when the stored CREATE statement of table contains text (as last opened).
    bool tableSqlHas(const QString& table, const QString& text) const { return tableHas(table, text); }
    void joinChatMessage(qint64 chatId, qint64 messageId, qint64 messageDate);
    qint64 insertAttachment(const _MsgAttachment& attachment);
    void joinMessageAtta(qint64 messageId, qint64 attachmentId);

    // Messages as the message list shows them: chat_message_join rows with their message, item
    // type 4 left out where the column exists. Counted as a full load decides its whole list: from
    // the tables as well when an index of the join table has lost rows (or holds others). The rows
    // are read as that load reads them, so that a message it cannot read has no count either.
    qint64 total() override;
    // What messages(data, 0) would load, counted without loading it.
    MsgLoadCounts loadCounts();
    // Deletes the message's row and joins, and its chat when no message joins it any more. The
    // caller brackets the calls in one edit; rowids are this database's.
    void deleteMessage(const _MsgMessage* message);
    // True while a message still joins an attachment row with this device path.
    bool isAttachmentFileReferenced(const QString& filename);

    // The local file of an attachment's device path, inside the file-relay folder, or empty when
    // the name would lead out of it; absent, when given, tells that nothing stands there.
    QString localPathOf(const QString& filename, bool* absent = nullptr) const;
    // Reads the database as a store of the program's own whose attachment files lie in relay (its
    // file-relay folder, or that of the store a private copy of it was taken from): an attachment
    // with no file at its name is read from the one an earlier version saved it under, where that
    // file is its alone (MsgEarlierCopies). Never for a backup's cache, which is made anew.
    void readAsOwnStore(const QDir& relay);
    // Every device path the attachment table names, handed to each one by one.
    void eachAttachmentFilename(const std::function<void(const QString&)>& each);

    // Finds deleted messages in the raw pages of a private copy of the database file (and its -wal)
    // and files the new ones into the store of recovered messages; chats are the conversations
    // already read from this database, used to name the conversation of each recovered message.
    // The user's file is never written. Failures throw; a cancel stops early and keeps what was filed.
    void recycleDeletedMessages(const QList<_MsgChat*>& chats, IProgressSink* progress);
    // Decodes one raw row of the message table; false when it is not a message.
    bool recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* message) const;
    // The same for deleted handles, each stored once with the rowid it had.
    void recycleDeletedHandles(IProgressSink* progress);
    bool recoverFetchHandle(const _SqliteFileRowData& row, _MsgHandle* handle);
    // Adds the stored recovered messages that this database no longer holds to data.
    void deletedMessages(MsgData& data);

private:
    bool hasTables();
    void createSchemaThrow();
    // Chats and their handles; lastDates sets each chat's _last from its latest message.
    void loadChats(MsgData& data, bool lastDates);
    bool chatHasLastColumn() const;
    // Rows of chat_message_join counted from the table itself, none of its indexes.
    qint64 storedJoins();
    // Plain messages joined to a chat, counted through the indexes SQLite picks or without any.
    qint64 plainCount(bool withoutIndexes);
    // True when every full index of chat_message_join counts as many rows as the table itself (a
    // damaged index hides rows from its own count as from the queries through it).
    bool joinIndexesHoldTable();
    // False when the message table reads empty while the index SQLite counts it through holds
    // rows (its root page lost).
    bool messageTableReads();
    // Plain messages counted from the tables alone, and whether the indexes of the join table
    // count its rows as the table does and the message table reads. readAsALoad: the rows are
    // stepped through as a full load reads them, every value read, for a count no load made.
    struct TableCount {
        qint64 plain = 0;
        bool indexesHoldTables = false;
    };
    TableCount tableCount(bool readAsALoad);
    // The plain messages of the whole list, which a full load must read: the count from the tables,
    // and where the cheap counts disagree (an index has lost rows or holds others, or the load read
    // through the indexes, readThroughIndexes when not -1, a count of its own) the count through the
    // indexes too, the larger one standing. Used by total() and by the check of a full load.
    qint64 listCount(qint64 readThroughIndexes);
    // How a full load was read, for a second reading of it.
    struct Reread {
        bool withItemType;
        bool lastInPass;
        bool heldNone; // the model held no message before the load
    };
    // Where a full load read fewer plain messages than total() counts, reads them again without
    // the indexes of the message tables (into a model emptied of the first reading's messages when
    // it held none before); throws SQLite's text for a damaged file when that too reads fewer.
    void readAgainIfShort(MsgTableLoader& loader, __MsgData& d, qint64 plain, const Reread& again);
    // The attachments of the load (of one chat, or of all for 0) with their local files.
    void loadAttachmentPaths(MsgTableLoader& loader, qint64 chat);
    // Takes every message out of the model and its chats (lastDates: the chats' latest dates too).
    static void clearMessages(__MsgData& d, bool lastDates);
    bool tableHas(
        const QString& table, const QString& text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    void upgradeThrow();

    // The last tableCount() (or the count of a full load that read every row) and the state of the
    // file it was counted in: this connection's changes and SQLite's data version, which moves with
    // every change another connection commits.
    struct Unchanged {
        qint64 version;
        qint64 changes;
        bool operator==(const Unchanged& o) const { return version == o.version && changes == o.changes; }
    };
    struct Counted {
        Unchanged at;
        TableCount count;
    };
    std::optional<Counted> counted;
    Unchanged unchangedNow(); // of the file as this connection sees it now
    QHash<QString, QString> tableSql; // of the tables the reader looks into alone
    // Column tests of the message table already answered (cleared when the tables are read again).
    mutable QHash<const char*, bool> messageHas; // keyed by the literal column names
    QDir dbDir;
    QDir relayDir;
    QDir filesDir; // where the attachment files lie: relayDir unless readAsOwnStore() says
    bool ownStore = false;
    IOSContactsMemDb contactsDb;
    MessageRecycleDb recycleStore;
    CountryLibDb countryDb;
    _CountryInfo countryInfo;
    QString dbPath;
    bool upgradeSchema;
    IOS6WriteTally* writeTally = nullptr;
    qint64 insertCounted(const Sqlite3Row& row, const QString& table);
};

void sqlite3fun_delete_attachment_path(sqlite3_context* context, int argc, sqlite3_value** argv);
void sqlite3fun_before_delete_attachment_path(sqlite3_context* context, int argc, sqlite3_value** argv);
void sqlite3fun_after_delete_message_plugin(sqlite3_context* context, int argc, sqlite3_value** argv);
