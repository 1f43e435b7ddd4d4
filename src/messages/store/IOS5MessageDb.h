#pragma once

#include "messages/store/AbsIOSMessageDb.h"
#include "messages/store/CountryInfo.h"
#include "messages/store/CountryLibDb.h"
#include "messages/store/IOSContactsMemDb.h"
#include "messages/store/MessageRecycleDb.h"

#include <QDir>
#include <QHash>
#include <sqlite3.h>

class __MsgData;
class _MsgChat;
class _MsgHandle;
class _MsgMessage;

// Reader of an iOS 5 message database (sms.db) inside a folder in the cache layout
// (folder/file-relay/var/mobile/Library/SMS/sms.db). Reads only; MMS parts held inline in the
// database are written out as files under the folder's file-relay tree, each whole or not at all: a
// part that cannot be written fails the load of messages with the disk's reason.
class IProgressSink;
class RecycleMsg;
struct _SqliteFileRowData;

class IOS5MessageDb : public AbsIOSMessageDb
{
public:
    IOS5MessageDb(const QDir& folder, const _CountryInfo& country);
    ~IOS5MessageDb() override = default;

    void openCheck() override;
    void chats(MsgData& data) override;
    void messages(MsgData& data, qint64 chat) override;
    int type() const override { return 5; }
    qint64 total() override;

    MessageRecycleDb* recycleDb() { return &recycleStore; }
    const QString& dbPath() const { return _dbPath; }

    // Finds deleted messages in the raw pages of a private copy of the database file and files the
    // new ones into the store of recovered messages; the user's file is never written.
    void recycleDeletedMessages(IProgressSink* progress);
    // Decodes one raw row of the message table; false when it is not a message to keep.
    bool recoverFetchMessage(const _SqliteFileRowData& row, RecycleMsg& item);
    // Adds the stored recovered messages to data.
    void deletedMessages(MsgData& data);

private:
    // The query of the message rows with every column a message is read from.
    Sqlite3Sql messageSql();
    // Conversations: SMS groups with their members, then iMessage chats with their participants.
    void loadSmsChats(__MsgData* d);
    void loadGroupMembers(__MsgData* d);
    _MsgHandle* groupMemberHandle(__MsgData* d, const Sqlite3Cursor& c);
    void loadMadridChats(__MsgData* d, QHash<QString, _MsgChat*>& index);
    void loadMadridChatDates(const QHash<QString, _MsgChat*>& index);
    // Messages: the fields of an SMS or MMS row, of an iMessage row, the iMessage attachments,
    // then the MMS parts of msg_pieces.
    void readSmsRow(__MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m);
    void readMadridRow(
        __MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m, const QHash<QString, _MsgChat*>& index);
    // columns: the select list of the madrid_attachment columns an attachment is read from.
    void readMadridAttachments(__MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m, const QString& columns);
    void loadMsgPieces(__MsgData* d, qint64 chat);

    QDir _relayDir;
    IOSContactsMemDb _contactsDb;
    MessageRecycleDb recycleStore;
    CountryLibDb _countryDb;
    _CountryInfo _countryInfo;
    QHash<QString, QString> tableSql;
    QString _dbPath;
};

// SQL function "read" that device triggers call: 1 for a non-zero integer argument, else 0.
void sqlite3fun_read(sqlite3_context* context, int argc, sqlite3_value** argv);
// The attachment guids named in an iMessage attachment-info blob, in order.
QStringList g_madridAttachmentGUIDS(const QByteArray& info);
