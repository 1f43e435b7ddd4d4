#include "messages/modern/IOS6MessageDb.h"

#include "app/MadeFolders.h"
#include "app/sqlite/HeldFolderVfs.h"
#include "app/sqlite/Sqlite3Script.h"
#include "app/sqlite/Sqlite3Stmt.h"
#include "app/sqlite/SqliteTriggersOff.h"
#include "messages/modern/IOS6WriteTally.h"
#include "messages/store/MsgColumnSink.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgEarlierCopies.h"
#include "messages/store/MsgIdentity.h"
#include "messages/store/MsgMessageColumns.h"
#include "messages/store/MsgPath.h"
#include "messages/store/MsgTableLoader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

void sqlite3fun_delete_attachment_path(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int(context, 0);
}

void sqlite3fun_before_delete_attachment_path(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int(context, 0);
}

void sqlite3fun_after_delete_message_plugin(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int(context, 0);
}

namespace
{
// The name the phone shows for an attachment: its own, or its path's; never the name of the
// local copy, which may be cut to fit this disk.
QString transferNameOf(const _MsgAttachment& a)
{
    if (!a.transfer_name.isEmpty())
        return a.transfer_name;
    const QString own = QFileInfo(a.filename).fileName();
    return own.isEmpty() ? QFileInfo(a._path).fileName() : own;
}

struct UpgradeStep {
    int line;
    const char* column;
    const char* sql;
};

const UpgradeStep kMessageUpgrades[] = {
    { 101, "is_audio_message", "ALTER TABLE message ADD COLUMN is_audio_message INTEGER DEFAULT 0;" },
    { 102, "is_played", "ALTER TABLE message ADD COLUMN is_played INTEGER DEFAULT 0;" },
    { 103, "date_played", "ALTER TABLE message ADD COLUMN date_played INTEGER;" },
    { 104, "item_type", "ALTER TABLE message ADD COLUMN item_type INTEGER DEFAULT 0;" },
    { 105, "other_handle", "ALTER TABLE message ADD COLUMN other_handle INTEGER DEFAULT -1;" },
    { 106, "group_title", "ALTER TABLE message ADD COLUMN group_title TEXT;" },
    { 107, "group_action_type", "ALTER TABLE message ADD COLUMN group_action_type INTEGER DEFAULT 0;" },
    { 108, "share_status", "ALTER TABLE message ADD COLUMN share_status INTEGER;" },
    { 109, "share_direction", "ALTER TABLE message ADD COLUMN share_direction INTEGER;" },
    { 110, "is_expirable", "ALTER TABLE message ADD COLUMN is_expirable INTEGER DEFAULT 0;" },
    { 111, "expire_state", "ALTER TABLE message ADD COLUMN expire_state INTEGER DEFAULT 0;" },
    { 112, "message_action_type", "ALTER TABLE message ADD COLUMN message_action_type INTEGER DEFAULT 0;" },
};

// Empties the device's sync and deleted-message tables (the reader never shows their rows).
void clearSyncTables(Sqlite3DB& db, const QHash<QString, QString>& tableSql)
{
    // Only tables that hold rows, in one transaction: an empty one needs no write and no sync.
    QString script;
    for (const char* t :
        { "sync_deleted_attachments", "sync_deleted_chats", "sync_deleted_messages", "deleted_messages" }) {
        if (!tableSql.contains(QLatin1String(t)))
            continue;
        Sqlite3Cursor rows
            = db.queryThrow(QStringLiteral("select exists(select 1 from %1)").arg(QLatin1String(t)));
        if (rows.moveNext() && rows.getInt64(0) != 0)
            script += QStringLiteral("delete from %1;").arg(QLatin1String(t));
    }
    if (script.isEmpty())
        return;
    // The file's triggers do not act on these deletes: what they would record is not the user's.
    const SqliteTriggersOff triggersOff(db);
    QString err;
    if (sqlite3ExecScript(db, script, err) != SQLITE_OK)
        Sqlite3Stmt::throwError(err, script);
}
} // namespace

IOS6MessageDb::IOS6MessageDb(const QDir& dir, const _CountryInfo& country, bool upgrade)
    : dbDir(dir)
    , relayDir(dir.absoluteFilePath(QStringLiteral("file-relay")))
    , filesDir(relayDir)
    , contactsDb(dir, country)
    , recycleStore(dir.absoluteFilePath(QStringLiteral("recycle.db")))
    , countryDb(QString())
    , countryInfo(country)
    , upgradeSchema(upgrade)
{
    dbPath = relayDir.absoluteFilePath(QStringLiteral("var/mobile/Library/SMS/sms.db"));
}

bool IOS6MessageDb::tableHas(const QString& table, const QString& text, Qt::CaseSensitivity cs) const
{
    return tableSql.value(table).contains(text, cs);
}

bool IOS6MessageDb::isItemTypeEnabled() const
{
    return tableHas(QStringLiteral("message"), QStringLiteral("item_type"));
}

void IOS6MessageDb::upgradeThrow()
{
    auto run = [this](int line, const QString& sql) {
        QString err;
        if (exec(sql, err) != 0)
            throw std::runtime_error(
                QStringLiteral("line:%1, sql:%2, error:%3").arg(line).arg(sql, err).toStdString());
    };
    if (!tbInfo(QStringLiteral("chat")).contains(QStringLiteral("group_id")))
        run(100, QStringLiteral("ALTER TABLE chat ADD COLUMN group_id TEXT;"));
    const auto cols = tbInfo(QStringLiteral("message"));
    for (const UpgradeStep& s : kMessageUpgrades)
        if (!cols.contains(QLatin1String(s.column)))
            run(s.line, QLatin1String(s.sql));
    if (!cols.contains(QStringLiteral("logic_hash"))) {
        run(113, QStringLiteral("ALTER TABLE message ADD COLUMN logic_hash TEXT;"));
        run(114, QStringLiteral("CREATE INDEX message_idx_logic_hash ON message(logic_hash);"));
    }
}

bool IOS6MessageDb::hasTables()
{
    return queryThrow(Sqlite3Sql("select 1 from sqlite_master where type='table'")).moveNext();
}

// In one transaction: a store holds all of its tables or none.
void IOS6MessageDb::createSchemaThrow()
{
    QFile ddl(QStringLiteral(":/res/localmsgdb_ddl.sql"));
    if (!ddl.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("read IOS6MessageDb ddl error. %1").arg(ddl.errorString()).toStdString());
    QString msg;
    const int rc = sqlite3ExecScript(*this, QString::fromUtf8(ddl.readAll()), msg);
    if (rc == SQLITE_OK)
        return;
    const QString why = failureReason(rc, msg);
    close(); // the next open makes the tables again
    throw std::runtime_error(
        QStringLiteral("create IOS6MessageDb error. Cannot write %1. %2").arg(dbPath, why).toStdString());
}

void IOS6MessageDb::openCheck()
{
    if (handle)
        return;
    counted.reset(); // of another connection
    // A device's database (from a backup or a source file) is data; only a store of the program's
    // own may be upgraded.
    setForeign(!upgradeSchema);
    if (upgradeSchema) {
        // A store of the program's own is opened from its held folder, with the files beside it.
        MadeFolders::makePathThrow(QFileInfo(dbPath).absolutePath());
        QString name;
        bool stood = false;
        const HeldFolder folder = HeldFolderVfs::holdStoreThrow(dbPath, &name, &stood);
        openHeldThrow(folder, name, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
        // One whose making a failing disk or a kill stopped holds no table: it is made now.
        if (!stood || !hasTables())
            createSchemaThrow();
        else
            upgradeThrow();
    } else if (!QFile::exists(dbPath)) {
        // A device database that is missing from a backup stays missing.
        throw std::runtime_error(QStringLiteral("Cannot find the message database %1.")
                                     .arg(QDir::toNativeSeparators(dbPath))
                                     .toStdString());
    } else {
        openThrow(dbPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    }
    // Harmless, so that the device's triggers may call them.
    sqlite3_create_function_v2(handle, "delete_attachment_path", 1, SQLITE_ANY | SQLITE_INNOCUOUS, nullptr,
        sqlite3fun_delete_attachment_path, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "before_delete_attachment_path", 2, SQLITE_ANY | SQLITE_INNOCUOUS,
        nullptr, sqlite3fun_before_delete_attachment_path, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "after_delete_message_plugin", 2, SQLITE_ANY | SQLITE_INNOCUOUS,
        nullptr, sqlite3fun_after_delete_message_plugin, nullptr, nullptr, nullptr);
    messageHas.clear();
    // Only the tables this reader looks into.
    tableSql = tableTextsThrow({ QStringLiteral("message"), QStringLiteral("chat"), QStringLiteral("handle"),
        QStringLiteral("attachment"), QStringLiteral("chat_message_join"),
        QStringLiteral("sync_deleted_attachments"), QStringLiteral("sync_deleted_chats"),
        QStringLiteral("sync_deleted_messages"), QStringLiteral("deleted_messages") });
    clearSyncTables(*this, tableSql);
}

bool IOS6MessageDb::chatHasLastColumn() const
{
    return tableHas(QStringLiteral("chat"), QStringLiteral("_last INTEGER"), Qt::CaseInsensitive);
}

void IOS6MessageDb::chats(MsgData& data)
{
    loadChats(data, true);
}

void IOS6MessageDb::loadChats(MsgData& data, bool lastDates)
{
    openCheck();
    contactsDb.openQuietly();
    __MsgData* d = data.p();
    MsgTableLoader loader(*this, *d);
    loader.loadChats();
    if (lastDates && !chatHasLastColumn()) {
        Sqlite3Cursor c = queryThrow(
            "select chat_id, max(date) as last from ( select cm.chat_id, m.date from chat_message_join as "
            "cm inner join message as m on cm.message_id=m.rowid ) as tmp group by chat_id");
        while (c.moveNext())
            if (_MsgChat* ch = d->chats.value(c.getInt64("chat_id")))
                ch->_last = MsgMessageColumns::secondsFromEither(c.getInt64("last"));
    }
    loader.loadHandles([this](_MsgHandle& h) {
        if (h.country.isEmpty()) {
            h.country = countryInfo.sn.toLower();
            h.id = countryInfo.formatNumber(h.id);
        } else {
            h.id = countryDb.infoByCode(h.country, nullptr).formatNumber(h.id);
        }
        contactsDb.fillHandleContact(h, "IOS6MessageDb::chats");
    });
}

void IOS6MessageDb::fillMessage(Sqlite3Cursor& row, _MsgMessage& message)
{
    MsgMessageColumns(row).fill(row, message, MsgMessageColumns::Dates::Either);
}

QString IOS6MessageDb::localPathOf(const QString& filename, bool* absent) const
{
    return msgSourcePath(filesDir, msgRelayPath(filesDir, filename), absent);
}

void IOS6MessageDb::readAsOwnStore(const QDir& relay)
{
    filesDir = relay;
    ownStore = true;
}

void IOS6MessageDb::eachAttachmentFilename(const std::function<void(const QString&)>& each)
{
    openCheck();
    Sqlite3Cursor c = queryThrow("select filename from attachment where filename is not null");
    while (c.moveNext())
        each(c.getText(0));
}

void IOS6MessageDb::messages(MsgData& data, qint64 chat)
{
    openCheck();
    // Loading every message, the chats' latest dates come from the same pass over the rows.
    const bool lastInPass = chat <= 0 && !chatHasLastColumn();
    loadChats(data, !lastInPass);
    const bool heldNone = data.p()->messages.isEmpty();
    MsgTableLoader loader(*this, *data.p());
    const bool withItemType = isItemTypeEnabled();
    const MsgTableLoader::MessageRows read
        = loader.loadMessages(chat, withItemType, MsgMessageColumns::Dates::Either, lastInPass);
    // A query that gave every joined row missed none. Fewer can be rows of type 4 left out, joins
    // whose message is gone, or rows a damaged index hid; the join's indexes may hide the same
    // rows from their own count, so the table is counted too.
    if (chat <= 0 && (read.read < read.joined || read.read < storedJoins())) {
        const Reread again { withItemType, lastInPass, heldNone };
        readAgainIfShort(loader, *data.p(), read.plain, again);
    } else if (chat <= 0) {
        // Every row the table holds was read: what the load took is the count of the whole list.
        counted = Counted { unchangedNow(), TableCount { read.plain, true } };
    }
    loadAttachmentPaths(loader, chat);
}

void IOS6MessageDb::loadAttachmentPaths(MsgTableLoader& loader, qint64 chat)
{
    // Whether a file stands at its name is known from the path's check: nothing more is asked of a
    // store whose every file is there.
    std::optional<MsgEarlierCopies> earlier;
    if (ownStore)
        earlier.emplace(filesDir);
    loader.loadAttachments(chat, [&](_MsgAttachment& a, bool) {
        if (a.filename.isEmpty())
            return;
        bool absent = false;
        a._path = localPathOf(a.filename, &absent);
        if (absent && earlier)
            earlier->noteAbsent(a);
    });
    if (earlier)
        earlier->resolve(
            [this](const std::function<void(const QString&)>& each) { eachAttachmentFilename(each); });
}

qint64 IOS6MessageDb::storedJoins()
{
    // A count without a condition walks the table's own pages, none of its cells decoded.
    Sqlite3Cursor c = queryThrow("select count(*) from chat_message_join not indexed");
    return c.moveNext() ? c.getInt64(0) : 0;
}

bool IOS6MessageDb::joinIndexesHoldTable()
{
    const qint64 stored = storedJoins();
    std::vector<QString> indexes;
    {
        Sqlite3Cursor c = queryThrow("select name, partial from pragma_index_list('chat_message_join')");
        while (c.moveNext())
            if (c.getInt64(1) == 0) // a partial index holds fewer rows by design
                indexes.push_back(c.getText(0));
    }
    for (const QString& name : indexes) {
        QString quoted = name;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        Sqlite3Cursor c = queryThrow(
            QStringLiteral("select count(*) from chat_message_join indexed by \"%1\"").arg(quoted));
        if (!c.moveNext() || c.getInt64(0) != stored)
            return false;
    }
    return true;
}

bool IOS6MessageDb::messageTableReads()
{
    // Without a condition SQLite counts through the table's smallest index. Counting the table's
    // own pages would cost a good part of a load; one row tells a table that lost its root.
    Sqlite3Cursor indexed = queryThrow("select count(*) from message");
    Sqlite3Cursor stored = queryThrow("select exists(select 1 from message not indexed)");
    return !indexed.moveNext() || indexed.getInt64(0) == 0 || (stored.moveNext() && stored.getInt64(0) != 0);
}

IOS6MessageDb::TableCount IOS6MessageDb::tableCount(bool readAsALoad)
{
    openCheck();
    // Asked again of an unchanged file (the load's check, then the count shown with the list), the
    // walks of the tables are not repeated.
    const Unchanged now = unchangedNow();
    if (counted && counted->at == now)
        return counted->count;
    TableCount c;
    // A value a full load cannot read (larger than a phone keeps) fails it: a count made without
    // one reads the rows as it would, so that it fails too, where the database could hold one.
    c.plain = readAsALoad && mayHoldValueOverBound()
        ? MsgTableLoader::countPlainThrow(*this, isItemTypeEnabled(), !chatHasLastColumn())
        : plainCount(true);
    // SQLite refuses every count that might take an index of a collation this build lacks, while a
    // load does not read through one: the tables' own count is then the list's, as the load's is.
    const bool uncountable = !indexesWithoutCollationThrow(QStringLiteral("chat_message_join")).isEmpty()
        || !indexesWithoutCollationThrow(QStringLiteral("message")).isEmpty();
    c.indexesHoldTables = uncountable || (joinIndexesHoldTable() && messageTableReads());
    counted = Counted { now, c };
    return c;
}

IOS6MessageDb::Unchanged IOS6MessageDb::unchangedNow()
{
    Sqlite3Cursor v = queryThrow("pragma data_version");
    return Unchanged { v.moveNext() ? v.getInt64(0) : -1, sqlite3_total_changes64(handle) };
}

qint64 IOS6MessageDb::listCount(qint64 readThroughIndexes)
{
    const TableCount tables = tableCount(readThroughIndexes < 0);
    // The indexes hold what the tables hold, and what a load read through them is all of it.
    if (tables.indexesHoldTables && (readThroughIndexes < 0 || readThroughIndexes == tables.plain))
        return tables.plain;
    // Either may be what damage made short: the count through the indexes SQLite picks as well.
    return std::max(tables.plain, plainCount(false));
}

void IOS6MessageDb::readAgainIfShort(MsgTableLoader& loader, __MsgData& d, qint64 plain, const Reread& again)
{
    const qint64 count = listCount(plain);
    if (plain >= count)
        return;
    // Rows a damaged index gave may have put messages into chats they are not in.
    if (again.heldNone)
        clearMessages(d, again.lastInPass);
    loader.setWithoutIndexes(true);
    if (loader.loadMessages(0, again.withItemType, MsgMessageColumns::Dates::Either, again.lastInPass).plain
        >= count)
        return;
    // The tables hold fewer messages than the indexes count: a short list would pass for the whole.
    Sqlite3Stmt::throwError(QString::fromUtf8(sqlite3_errstr(SQLITE_CORRUPT)),
        QString::fromUtf8(sqlite3_db_filename(handle, "main")));
}

void IOS6MessageDb::clearMessages(__MsgData& d, bool lastDates)
{
    for (_MsgChat* ch : std::as_const(d.chats)) {
        ch->_messages.clear();
        if (lastDates)
            ch->_last = 0;
    }
    for (_MsgMessage* m : d.messages.inOrder()) {
        m->_chat = nullptr;
        d.removeMessage(m);
    }
}

qint64 IOS6MessageDb::findChat(const QString& guid)
{
    openCheck();
    Sqlite3Sql sql("select rowid from chat where guid=?");
    sql.addTextParam(guid);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 IOS6MessageDb::findHandle(const _MsgHandle& handle)
{
    openCheck();
    Sqlite3Sql sql("select rowid from handle where id=? and service=?");
    sql.addTextParam(handle.id).addTextParam(handle.service);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

bool IOS6MessageDb::isHandleBelong2Chat(qint64 chatId, qint64 handleId)
{
    openCheck();
    Sqlite3Cursor c
        = queryThrow(QStringLiteral("select 1 from chat_handle_join where chat_id=%1 and handle_id=%2")
                         .arg(chatId)
                         .arg(handleId));
    return c.moveNext();
}

qint64 IOS6MessageDb::findMessage(const QString& guid)
{
    openCheck();
    Sqlite3Sql sql("select rowid from message where guid=?");
    sql.addTextParam(guid);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 IOS6MessageDb::findMessageHash(const _MsgMessage& message)
{
    openCheck();
    if (!tableHas(QStringLiteral("message"), QStringLiteral("logic_hash")))
        return 0;
    Sqlite3Sql sql("select rowid from message where logic_hash=?");
    sql.addTextParam(message.logicalHash());
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 IOS6MessageDb::findAttachment(const _MsgAttachment& attachment)
{
    openCheck();
    Sqlite3Sql sql("select rowid from attachment where guid=?");
    sql.addTextParam(attachment.guid);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 IOS6MessageDb::insertCounted(const Sqlite3Row& row, const QString& table)
{
    if (writeTally)
        writeTally->row(table);
    return insertSqlRow(row, table, {});
}

qint64 IOS6MessageDb::insertChatAndHandles(const _MsgChat& chat)
{
    openCheck();
    const QString t = QStringLiteral("chat");
    Sqlite3Row row;
    row["guid"] = chat.guid;
    row["style"] = chat.style;
    row["state"] = chat.state;
    if (!chat.account_id.isEmpty())
        row["account_id"] = chat.account_id;
    row["chat_identifier"] = chat.chat_identifier;
    row["service_name"] = chat.service_name;
    if (!chat.room_name.isEmpty())
        row["room_name"] = chat.room_name;
    row["account_login"] = chat.account_login;
    row["is_archived"] = chat.is_archived;
    if (tableHas(t, QStringLiteral("display_name")))
        row["display_name"] = chat.display_name;
    if (tableHas(t, QStringLiteral("group_id")))
        row["group_id"] = chat.group_id.isEmpty() ? hashUUID(chat.guid.toUtf8()) : chat.group_id;
    if (tableHas(t, QStringLiteral("last_addressed_handle")) && chat.group_id.isEmpty())
        row["last_addressed_handle"] = chat.chat_identifier;
    if (tableHas(t, QStringLiteral("is_filtered")))
        row["is_filtered"] = 1;
    if (tableHas(t, QStringLiteral("successful_query")))
        row["successful_query"] = 0;
    if (tableHas(t, QStringLiteral("original_group_id")))
        row["original_group_id"] = row.val(QStringLiteral("group_id"));
    const qint64 chatId = insertCounted(row, t);
    for (const _MsgHandle* h : chat._handles) {
        if (!h)
            continue;
        qint64 hid = findHandle(*h);
        if (hid == 0)
            hid = insertHandle(*h);
        joinChatHandle(chatId, hid);
    }
    return chatId;
}

qint64 IOS6MessageDb::insertHandle(const _MsgHandle& h)
{
    openCheck();
    const QString t = QStringLiteral("handle");
    Sqlite3Row row;
    row["id"] = h.id;
    if (!h.country.isEmpty())
        row["country"] = h.country;
    row["service"] = h.service;
    if (!h.uncanonicalized_id.isEmpty())
        row["uncanonicalized_id"] = h.uncanonicalized_id;
    if (tableHas(t, QStringLiteral("_ct_name TEXT"), Qt::CaseInsensitive))
        row["_ct_name"] = h._ct_name;
    if (tableHas(t, QStringLiteral("_photo BLOB"), Qt::CaseInsensitive))
        row["_photo"] = h._photo;
    return insertCounted(row, t);
}

void IOS6MessageDb::joinChatHandle(qint64 chatId, qint64 handleId)
{
    openCheck();
    if (writeTally)
        writeTally->join(QStringLiteral("chat_handle_join"), chatId, handleId);
    executeThrow(QStringLiteral("replace into chat_handle_join(chat_id,handle_id) values(%1,%2)")
                     .arg(chatId)
                     .arg(handleId));
}

void IOS6MessageDb::updateChatLastHandle(qint64 chatId, const QString& handleText)
{
    openCheck();
    Sqlite3Sql sql("update chat set last_addressed_handle=? where rowid=?");
    sql.addTextParam(handleText).addInt64Param(chatId);
    executeThrow(sql);
}

void IOS6MessageDb::updateChatLastDate21(qint64 chatId, int date)
{
    openCheck();
    if (!tableHas(QStringLiteral("chat"), QStringLiteral("_last INTEGER"), Qt::CaseInsensitive))
        return;
    executeThrow(QStringLiteral("update chat set _last=%1 where rowid=%2 and _last < %3")
                     .arg(date)
                     .arg(chatId)
                     .arg(date));
}

qint64 IOS6MessageDb::insertMessage(
    const _MsgMessage& m, qint64 handleId, qint64 otherHandleId, QString logicHash)
{
    openCheck();
    return insertCounted(messageRow(m, handleId, otherHandleId, logicHash), QStringLiteral("message"));
}

Sqlite3Row IOS6MessageDb::messageRow(
    const _MsgMessage& m, qint64 handleId, qint64 otherHandleId, QString logicHash)
{
    // Each value goes in as the type it has.
    class RowSink : public MsgColumnSink
    {
    public:
        Sqlite3Row row;
        void put(const char* name, int value) override { row[QLatin1String(name)] = value; }
        void put(const char* name, qint64 value) override { row[QLatin1String(name)] = value; }
        void put(const char* name, const QString& value) override { row[QLatin1String(name)] = value; }
        void put(const char* name, const QByteArray& value) override { row[QLatin1String(name)] = value; }
    } sink;
    messageColumns(m, handleId, otherHandleId, logicHash, sink);
    return sink.row;
}

void IOS6MessageDb::messageColumns(
    const _MsgMessage& m, qint64 handleId, qint64 otherHandleId, const QString& logicHash, MsgColumnSink& out)
{
    const QString t = QStringLiteral("message");
    // Asked for every message written: each answer is looked up in the table text only once.
    auto has = [&](const char* col) {
        auto it = messageHas.constFind(col);
        if (it == messageHas.constEnd())
            it = messageHas.insert(col, tableHas(t, QLatin1String(col)));
        return it.value();
    };
    static const char* const kNanoseconds = "ck_record_id (any case)";
    auto nsIt = messageHas.constFind(kNanoseconds);
    if (nsIt == messageHas.constEnd())
        nsIt = messageHas.insert(
            kNanoseconds, tableHas(t, QStringLiteral("ck_record_id"), Qt::CaseInsensitive));
    const bool ns = nsIt.value();
    auto putDate = [&](const char* name, int v) {
        if (ns)
            out.put(name, qint64(v) * 1000000000LL);
        else
            out.put(name, v);
    };
    out.put("guid", m.guid);
    out.put("text", QString(m.text));
    out.put("replace", m.replace);
    if (!m.service_center.isEmpty())
        out.put("service_center", m.service_center);
    out.put("handle_id", handleId);
    if (!m.subject.isEmpty())
        out.put("subject", m.subject);
    if (!m.country.isEmpty())
        out.put("country", m.country);
    if (!m.attributedBody.isEmpty() && !m._attachments.isEmpty())
        out.put("attributedBody", m.attributedBody);
    out.put("version", m.version);
    out.put("type", m.type);
    out.put("service", m.service);
    out.put("account", m.account);
    out.put("account_guid", m.account_guid);
    out.put("error", m.error);
    putDate("date", m.date);
    putDate("date_read", m.date_read);
    putDate("date_delivered", m.date_delivered);
    out.put("is_delivered", m.is_delivered);
    out.put("is_finished", m.is_finished);
    out.put("is_emote", m.is_emote);
    out.put("is_from_me", m.is_from_me);
    out.put("is_empty", m.is_empty);
    out.put("is_delayed", m.is_delayed);
    out.put("is_auto_reply", m.is_auto_reply);
    out.put("is_prepared", m.is_prepared);
    out.put("is_read", m.is_read);
    out.put("is_system_message", m.is_system_message);
    out.put("is_sent", m.is_sent);
    out.put("has_dd_results", m.has_dd_results);
    out.put("is_service_message", m.is_service_message);
    out.put("is_forward", m.is_forward);
    out.put("was_downgraded", m.was_downgraded);
    out.put("is_archive", m.is_archive);
    out.put("cache_has_attachments", m.cache_has_attachments);
    out.put("cache_roomnames", m.cache_roomnames);
    out.put("was_data_detected", m.was_data_detected);
    out.put("was_deduplicated", m.was_deduplicated);
    if (has("is_audio_message"))
        out.put("is_audio_message", m.is_audio_message);
    if (has("is_played"))
        out.put("is_played", m.is_played);
    if (has("date_played"))
        out.put("date_played", m.date_played);
    if (has("item_type"))
        out.put("item_type", m.item_type);
    if (has("other_handle") && otherHandleId > 0)
        out.put("other_handle", otherHandleId);
    if (has("group_title") && !m.group_title.isEmpty())
        out.put("group_title", m.group_title);
    if (has("group_action_type"))
        out.put("group_action_type", m.group_action_type);
    if (has("share_status"))
        out.put("share_status", m.share_status);
    if (has("share_direction"))
        out.put("share_direction", m.share_direction);
    if (has("is_expirable"))
        out.put("is_expirable", m.is_expirable);
    if (has("expire_state"))
        out.put("expire_state", m.expire_state);
    if (has("message_action_type"))
        out.put("message_action_type", m.message_action_type);
    if (has("logic_hash"))
        out.put("logic_hash", logicHash.isEmpty() ? m.logicalHash() : logicHash);
}

void IOS6MessageDb::joinChatMessage(qint64 chatId, qint64 messageId, qint64 messageDate)
{
    openCheck();
    if (writeTally)
        writeTally->join(QStringLiteral("chat_message_join"), chatId, messageId);
    if (tableHas(QStringLiteral("chat_message_join"), QStringLiteral("message_date"))) {
        Sqlite3Sql sql("replace into chat_message_join(chat_id,message_id,message_date) values(?,?,?)");
        sql.addInt64Param(chatId).addInt64Param(messageId).addInt64Param(messageDate);
        executeThrow(sql);
    } else {
        executeThrow(QStringLiteral("replace into chat_message_join(chat_id,message_id) values(%1,%2)")
                         .arg(chatId)
                         .arg(messageId));
    }
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& a)
{
    openCheck();
    const QString t = QStringLiteral("attachment");
    Sqlite3Row row;
    row["guid"] = a.guid;
    row["created_date"] = a.created_date;
    row["start_date"] = a.start_date;
    row["filename"] = a.filename;
    row["uti"] = a.uti;
    row["mime_type"] = a.mime_type;
    row["transfer_state"] = a.transfer_state;
    row["is_outgoing"] = a.is_outgoing;
    if (tableHas(t, QStringLiteral("user_info")) && !a.user_info.isEmpty())
        row["user_info"] = a.user_info;
    if (tableHas(t, QStringLiteral("transfer_name")))
        row["transfer_name"] = transferNameOf(a);
    if (tableHas(t, QStringLiteral("total_bytes")))
        row["total_bytes"] = a.total_bytes;
    if (tableHas(t, QStringLiteral("original_guid")))
        row["original_guid"] = a.guid;
    return insertCounted(row, t);
}

void IOS6MessageDb::joinMessageAtta(qint64 messageId, qint64 attachmentId)
{
    openCheck();
    if (writeTally)
        writeTally->join(QStringLiteral("message_attachment_join"), messageId, attachmentId);
    executeThrow(
        QStringLiteral("replace into message_attachment_join(message_id,attachment_id) values(%1,%2)")
            .arg(messageId)
            .arg(attachmentId));
}

qint64 IOS6MessageDb::total()
{
    return listCount(-1);
}

qint64 IOS6MessageDb::plainCount(bool withoutIndexes)
{
    openCheck();
    QString sql = QStringLiteral(
        "select count(*) from chat_message_join as j%1 inner join message as m%1 on j.message_id = m.rowid")
                      .arg(withoutIndexes ? QStringLiteral(" not indexed") : QString());
    // The messages the list shows: group events (members, names, sharing) are not among them.
    if (isItemTypeEnabled())
        sql += QStringLiteral(" and %1 = 0").arg(QLatin1String(MsgTableLoader::kItemTypeSql));
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}

MsgLoadCounts IOS6MessageDb::loadCounts()
{
    openCheck();
    // As messages(data, 0) decides: the type filter is in its query unless it takes the chats'
    // dates in the same pass.
    const bool withItemType = isItemTypeEnabled();
    return MsgLoadCounts::countThrow(*this, withItemType, withItemType && chatHasLastColumn());
}

void IOS6MessageDb::deleteMessage(const _MsgMessage* message)
{
    openCheck();
    const qint64 id = message->rowid;
    executeThrow(QStringLiteral("DELETE FROM message WHERE rowid=%1").arg(id));
    executeThrow(QStringLiteral("DELETE FROM chat_message_join where message_id=%1").arg(id));
    // As the phone's triggers would, which do not act on this copy: an attachment goes with the last
    // message that holds it.
    if (tableSql.contains(QStringLiteral("attachment")))
        executeThrow(
            QStringLiteral("DELETE FROM attachment WHERE rowid IN (SELECT attachment_id FROM "
                           "message_attachment_join WHERE message_id=%1) AND NOT EXISTS (SELECT 1 "
                           "FROM message_attachment_join AS o WHERE o.attachment_id=attachment.rowid "
                           "AND o.message_id<>%1)")
                .arg(id));
    executeThrow(QStringLiteral("DELETE FROM message_attachment_join where message_id=%1").arg(id));
    if (message->_chat) {
        const qint64 chat = message->_chat->rowid;
        executeThrow(QStringLiteral("DELETE FROM chat WHERE rowid=%1 and (SELECT 1 from chat_message_join "
                                    "WHERE chat_id=%2 LIMIT 1) IS NULL")
                         .arg(chat)
                         .arg(chat));
    }
}

bool IOS6MessageDb::isAttachmentFileReferenced(const QString& filename)
{
    openCheck();
    Sqlite3Sql sql("select 1 from attachment as a inner join message_attachment_join as j on "
                   "j.attachment_id = a.rowid where a.filename=? limit 1");
    sql.addTextParam(filename);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext();
}
