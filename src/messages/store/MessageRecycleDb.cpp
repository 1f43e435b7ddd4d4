#include "messages/store/MessageRecycleDb.h"

#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/store/MsgIdentity.h"
#include "messages/store/MsgMessageColumns.h"
#include "messages/store/RecoveredMessageIndex.h"

#include <QFile>
#include <stdexcept>

namespace
{
const char kSchema[]
    = "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT, "
      "replace "
      "INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT, "
      "attributedBody "
      "BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid "
      "TEXT, error "
      "INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER "
      "DEFAULT 0, "
      "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_empty "
      "INTEGER "
      "DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT "
      "0, "
      "is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, "
      "has_dd_results "
      "INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded "
      "INTEGER "
      "DEFAULT 0, is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames "
      "TEXT, "
      "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0,chat_identifier TEXT, handle "
      "TEXT, "
      "src_rowid INTEGER, is_skip INTEGER NOT NULL DEFAULT 0);"
      "CREATE INDEX message_idx_chat_identifier on message(is_skip, chat_identifier, date);"
      "CREATE INDEX message_idx_chat_date on message(date);"
      "CREATE INDEX message_idx_handle_id on message(handle_id);"
      "CREATE INDEX message_idx_src_rowid on message(src_rowid);"
      "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, "
      "state "
      "INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, "
      "account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name "
      "TEXT,src_rowid "
      "INTEGER);"
      "CREATE INDEX chat_idx_identifier ON chat(chat_identifier);"
      "CREATE INDEX chat_idx_src_rowid ON chat(src_rowid);"
      "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT, "
      "service "
      "TEXT NOT NULL, uncanonicalized_id TEXT, src_rowid INTEGER, UNIQUE (id, service));"
      "CREATE INDEX handle_idx_src_rowid ON handle(src_rowid);";

// The schema in one transaction: the new file is written and synced once, not once per table and
// index. Nothing of it is kept when a statement fails.
bool createSchema(sqlite3* db, char** err)
{
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, err) != SQLITE_OK)
        return false;
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, err) == SQLITE_OK
        && sqlite3_exec(db, "COMMIT", nullptr, nullptr, err) == SQLITE_OK)
        return true;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

// The handle columns read back from the store. The country stays empty even where the column holds
// one; the caller sets the rowid.
void fillStoredHandle(_MsgHandle& h, const Sqlite3Cursor& c)
{
    h.id = c.getText("id");
    h.service = c.getText("service");
    h.uncanonicalized_id = c.getText("uncanonicalized_id");
}
// A guid of the device's shape is kept; any other (damaged, or none) is replaced by a fresh one.
QString storedGuid(const QString& guid)
{
    return MessageRecycleDb::hasDeviceGuidShape(guid) ? guid : genUUID();
}

// The columns of the prepared insert, in the order insertMessagePrepared binds them.
const char kInsertMessage[]
    = "insert into message(guid,text,replace,service_center,handle_id,subject,country,"
      "attributedBody,version,type,service,account,account_guid,error,date,date_read,"
      "date_delivered,is_delivered,is_finished,is_emote,is_from_me,is_empty,is_delayed,"
      "is_auto_reply,is_prepared,is_read,is_system_message,is_sent,has_dd_results,"
      "is_service_message,is_forward,was_downgraded,is_archive,cache_has_attachments,"
      "cache_roomnames,was_data_detected,was_deduplicated,chat_identifier,handle,src_rowid)"
      " values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
} // namespace

bool MessageRecycleDb::hasDeviceGuidShape(const QString& guid)
{
    // Groups of 8, 4, 4, 4 and 12 ASCII letters or digits joined by '-'; a final line break is
    // allowed after them, as the pattern "^...$" this stands for allows it.
    const qsizetype n = guid.size();
    if (n != 36 && !(n == 37 && guid.at(36) == u'\n'))
        return false;
    for (qsizetype i = 0; i < 36; ++i) {
        const char16_t c = guid.at(i).unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool alnum = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (dash ? c != u'-' : !alnum)
            return false;
    }
    return true;
}

MessageRecycleDb::MessageRecycleDb(const QString& path)
    : m_path(path)
{
}

void MessageRecycleDb::openCheck()
{
    if (handle)
        return;
    if (QFile::exists(m_path)) {
        openThrow(m_path, 2);
        return;
    }
    openThrow(m_path, 6);
    char* err = nullptr;
    if (!createSchema(handle, &err)) {
        const QString msg = QString::fromUtf8(err ? err : "");
        sqlite3_free(err);
        throw std::runtime_error(QStringLiteral("create MessageRecycleDb error. %1").arg(msg).toStdString());
    }
}

qint64 MessageRecycleDb::insertMessage(const _MsgMessage* m, const QString& chatIdentifier,
    const QString& handleText, qint64 srcRowid, Sqlite3StmtCache* cache)
{
    openCheck();
    if (cache)
        return insertMessagePrepared(m, storedGuid(m->guid), chatIdentifier, handleText, srcRowid, *cache);
    Sqlite3Row row;
    row["guid"] = storedGuid(m->guid);
    row["text"] = QString(m->text);
    row["replace"] = m->replace;
    if (!m->service_center.isEmpty())
        row["service_center"] = m->service_center;
    row["handle_id"] = m->handle_id;
    if (!m->subject.isEmpty())
        row["subject"] = m->subject;
    if (!m->country.isEmpty())
        row["country"] = m->country;
    if (!m->attributedBody.isEmpty())
        row["attributedBody"] = m->attributedBody;
    row["version"] = m->version;
    row["type"] = m->type;
    row["service"] = m->service;
    row["account"] = m->account;
    row["account_guid"] = m->account_guid;
    row["error"] = m->error;
    row["date"] = m->date;
    row["date_read"] = m->date_read;
    row["date_delivered"] = m->date_delivered;
    row["is_delivered"] = m->is_delivered;
    row["is_finished"] = m->is_finished;
    row["is_emote"] = m->is_emote;
    row["is_from_me"] = m->is_from_me;
    row["is_empty"] = m->is_empty;
    row["is_delayed"] = m->is_delayed;
    row["is_auto_reply"] = m->is_auto_reply;
    row["is_prepared"] = m->is_prepared;
    row["is_read"] = m->is_read;
    row["is_system_message"] = m->is_system_message;
    row["is_sent"] = m->is_sent;
    row["has_dd_results"] = m->has_dd_results;
    row["is_service_message"] = m->is_service_message;
    row["is_forward"] = m->is_forward;
    row["was_downgraded"] = m->was_downgraded;
    row["is_archive"] = m->is_archive;
    row["cache_has_attachments"] = m->_attachments.isEmpty() ? 0 : 1;
    row["cache_roomnames"] = m->cache_roomnames;
    row["was_data_detected"] = m->was_data_detected;
    row["was_deduplicated"] = m->was_deduplicated;
    row["chat_identifier"] = chatIdentifier;
    row["handle"] = handleText;
    if (srcRowid > 0)
        row["src_rowid"] = srcRowid;
    return insertSqlRow(row, QStringLiteral("message"), {});
}

qint64 MessageRecycleDb::insertMessagePrepared(const _MsgMessage* m, const QString& guid,
    const QString& chatIdentifier, const QString& handleText, qint64 srcRowid, Sqlite3StmtCache& cache)
{
    // The same values as the row insert above: a column left unbound stays NULL, as it does when
    // that insert leaves it out (none of them has a default).
    static const QString sql = QString::fromLatin1(kInsertMessage); // made once, not per message
    Sqlite3Stmt& st = cache.prepared(sql);
    int i = 0;
    const auto text = [&](const QString& v) { st.bindTextThrow(++i, v); };
    const auto optionalText = [&](const QString& v) {
        ++i;
        if (!v.isEmpty())
            st.bindTextThrow(i, v);
    };
    const auto num = [&](qint64 v) { st.bindInt64Throw(++i, v); };
    text(guid);
    text(m->text);
    num(m->replace);
    optionalText(m->service_center);
    num(m->handle_id);
    optionalText(m->subject);
    optionalText(m->country);
    ++i;
    if (!m->attributedBody.isEmpty())
        st.bindBlobThrow(i, m->attributedBody);
    num(m->version);
    num(m->type);
    text(m->service);
    text(m->account);
    text(m->account_guid);
    for (int v : { m->error, m->date, m->date_read, m->date_delivered, m->is_delivered, m->is_finished,
             m->is_emote, m->is_from_me, m->is_empty, m->is_delayed, m->is_auto_reply, m->is_prepared,
             m->is_read, m->is_system_message, m->is_sent, m->has_dd_results, m->is_service_message,
             m->is_forward, m->was_downgraded, m->is_archive, m->_attachments.isEmpty() ? 0 : 1 })
        num(v);
    text(m->cache_roomnames);
    num(m->was_data_detected);
    num(m->was_deduplicated);
    text(chatIdentifier);
    text(handleText);
    ++i;
    if (srcRowid > 0)
        st.bindInt64Throw(i, srcRowid);
    cache.execute(st);
    return lastInsertId();
}

qint64 MessageRecycleDb::findMessage(const _MsgMessage* m)
{
    openCheck();
    Sqlite3Sql sql("select rowid from message where guid=? or (date=? and is_from_me=? and text=?)");
    sql.addTextParam(m->guid).addIntParam(m->date).addIntParam(m->is_from_me).addTextParam(m->text);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 MessageRecycleDb::findMessageInChat(
    const _MsgMessage* m, const QString& chatIdentifier, Sqlite3StmtCache* cache)
{
    openCheck();
    Sqlite3Sql sql("select rowid from message where guid=? or (date=? and is_from_me=? and text=?"
                   " and ifnull(chat_identifier,'')=?)");
    sql.addTextParam(m->guid).addIntParam(m->date).addIntParam(m->is_from_me).addTextParam(m->text);
    sql.addTextParam(chatIdentifier);
    if (cache)
        return cache->firstInt64(sql);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

namespace
{
// A stored text and a new one of the same date and conversation that are one message, one of them
// cut short. An empty text begins every other: a message without text is never taken for a copy.
bool isCutCopy(const QString& stored, const QString& text)
{
    return !stored.isEmpty() && !text.isEmpty() && (stored.startsWith(text) || text.startsWith(stored));
}

QString columnText(sqlite3_stmt* st, int i)
{
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(st, i)) : QString();
}
} // namespace

bool MessageRecycleDb::fileRecovered(const _MsgMessage* m, const QString& chatIdentifier,
    const QString& handleText, qint64 srcRowid, Sqlite3StmtCache* cache, RecoveredMessageIndex* index)
{
    openCheck();
    Sqlite3StmtCache local(*this);
    Sqlite3StmtCache& stmts = cache ? *cache : local;
    const QByteArray chat = index ? index->chatBytes(chatIdentifier) : QByteArray();
    const StoredMatch match
        = index ? matchIndexed(m, chat, *index, stmts) : matchStored(m, chatIdentifier, stmts);
    if (match.same || match.cut) {
        // A stored copy that this text continues takes it; one found by its guid may have lost its
        // whole text.
        const QString& stored = match.same ? match.sameText : match.cutText;
        if (stored.size() < m->text.size() && m->text.startsWith(stored) && (match.same || !stored.isEmpty()))
            updateText(match.same ? match.same : match.cut, m->text, stmts);
        return false;
    }
    const QString guid = storedGuid(m->guid);
    const qint64 rowid = insertMessagePrepared(m, guid, chatIdentifier, handleText, srcRowid, stmts);
    if (index)
        index->add(rowid, guid.toUtf8(), m->date, chat);
    return true;
}

// One stored row of the duplicate test, in the order the rows come: the first that is the same
// message, else the first that is a copy cut short.
void MessageRecycleDb::StoredMatch::take(
    qint64 rowid, bool isSame, const QString& text, const QString& newText)
{
    if (!same && isSame) {
        same = rowid;
        sameText = text;
    } else if (!cut && isCutCopy(text, newText)) {
        cut = rowid;
        cutText = text;
    }
}

MessageRecycleDb::StoredMatch MessageRecycleDb::matchStored(
    const _MsgMessage* m, const QString& chatIdentifier, Sqlite3StmtCache& stmts)
{
    // The stored rows of the same guid or of the same date and conversation, read once: the same
    // message (findMessageInChat's test: the guid, or the direction and text too), or a copy of it
    // cut short.
    Sqlite3Stmt& st
        = stmts.prepared(QStringLiteral("select rowid, guid=?1 or (is_from_me=?2 and text=?3), text"
                                        " from message where guid=?1 or (date=?4 and"
                                        " ifnull(chat_identifier,'')=?5)"));
    st.bindTextThrow(1, m->guid);
    st.bindInt64Throw(2, m->is_from_me);
    st.bindTextThrow(3, m->text);
    st.bindInt64Throw(4, m->date);
    st.bindTextThrow(5, chatIdentifier);
    StoredMatch match;
    while (st.stepThrow())
        match.take(sqlite3_column_int64(st.handle(), 0), sqlite3_column_int(st.handle(), 1),
            columnText(st.handle(), 2), m->text);
    st.reset();
    return match;
}

MessageRecycleDb::StoredMatch MessageRecycleDb::matchIndexed(const _MsgMessage* m,
    const QByteArray& chatIdentifier, const RecoveredMessageIndex& index, Sqlite3StmtCache& stmts)
{
    // The rows matchStored's query would visit, each tested by SQLite with the same expression.
    const QByteArray guid = m->guid.toUtf8();
    StoredMatch match;
    for (qint64 rowid : index.candidates(guid, m->date, chatIdentifier)) {
        Sqlite3Stmt& st = stmts.prepared(QStringLiteral(
            "select guid=?1 or (is_from_me=?2 and text=?3), text from message where rowid=?4"));
        st.bindTextThrow(1, guid);
        st.bindInt64Throw(2, m->is_from_me);
        st.bindTextThrow(3, m->text);
        st.bindInt64Throw(4, rowid);
        if (st.stepThrow())
            match.take(rowid, sqlite3_column_int(st.handle(), 0), columnText(st.handle(), 1), m->text);
        st.reset();
    }
    return match;
}

void MessageRecycleDb::updateText(qint64 rowid, const QString& text, Sqlite3StmtCache& stmts)
{
    Sqlite3Stmt& st = stmts.prepared(QStringLiteral("update message set text=? where rowid=?"));
    st.bindTextThrow(1, text);
    st.bindInt64Throw(2, rowid);
    stmts.execute(st);
}

QList<RecycleMsg> MessageRecycleDb::messages()
{
    openCheck();
    QList<RecycleMsg> list;
    Sqlite3Cursor c = queryThrow("select * from message where is_skip=0");
    const MsgMessageColumns cols(c);
    while (c.moveNext()) {
        RecycleMsg m;
        // The store has the original columns only; the text is taken as stored.
        cols.fillCommon(c, m, MsgMessageColumns::Dates::Seconds);
        m.rowid = -2047483648LL - m.rowid;
        m._recovered = true;
        m.chat_identifier = c.getText("chat_identifier");
        m.handle = c.getText("handle");
        list.append(m);
    }
    return list;
}

qint64 MessageRecycleDb::messageCount()
{
    openCheck();
    Sqlite3Cursor c = queryThrow("select count(*) from message where is_skip=0");
    return c.moveNext() ? c.getInt64(0) : 0;
}

qint64 MessageRecycleDb::findHandle(const _MsgHandle* h)
{
    openCheck();
    Sqlite3Sql sql("select rowid from handle where id=? and service=?");
    sql.addTextParam(h->id).addTextParam(h->service);
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64("rowid") : 0;
}

qint64 MessageRecycleDb::insertHandle(const _MsgHandle* h, qint64 srcRowid)
{
    openCheck();
    Sqlite3Row row;
    row["id"] = h->id;
    row["country"] = h->country;
    row["service"] = h->service;
    row["uncanonicalized_id"] = h->uncanonicalized_id;
    if (srcRowid > 0)
        row["src_rowid"] = srcRowid;
    return insertSqlRow(row, QStringLiteral("handle"), {});
}

QList<_MsgHandle> MessageRecycleDb::handles()
{
    openCheck();
    QList<_MsgHandle> list;
    Sqlite3Cursor c = queryThrow("select * from handle");
    while (c.moveNext()) {
        _MsgHandle h;
        fillStoredHandle(h, c);
        h.rowid = c.getInt64("rowid");
        list.append(h);
    }
    return list;
}

_MsgHandle MessageRecycleDb::handleBySrcRowId(qint64 srcRowid)
{
    openCheck();
    _MsgHandle h;
    Sqlite3Cursor c = queryThrow(QStringLiteral("select * from handle where src_rowid=%1").arg(srcRowid));
    if (c.moveNext()) {
        fillStoredHandle(h, c);
        h.rowid = c.getInt64("src_rowid");
    }
    return h;
}

void MessageRecycleDb::updateMessageChat(
    const _MsgMessage* msg, const QString& chatIdentifier, const QString& handleText)
{
    openCheck();
    const qint64 r = findMessage(msg);
    if (r == 0)
        return;
    Sqlite3Sql sql("update message set chat_identifier=?, handle=? where rowid=?");
    sql.addTextParam(chatIdentifier).addTextParam(handleText).addInt64Param(r);
    executeThrow(sql);
}
