#include "messages/store/MsgTableLoader.h"

#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgData.h"

#include <algorithm>

MsgTableLoader::MsgTableLoader(Sqlite3DB& db, __MsgData& data)
    : db(db)
    , data(data)
{
}

void MsgTableLoader::loadChats()
{
    Sqlite3Cursor c = db.queryThrow("select * from chat");
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (data.chats.contains(rowid))
            continue;
        auto* ch = new _MsgChat;
        fillMsgChat(*ch, c);
        data.chats.insert(rowid, ch);
    }
}

void MsgTableLoader::loadHandles(const std::function<void(_MsgHandle&)>& created)
{
    Sqlite3Cursor c = db.queryThrow(
        "select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        _MsgHandle* h = data.handles.value(rowid);
        if (!h) {
            h = new _MsgHandle;
            fillMsgHandle(*h, c);
            data.handles.insert(rowid, h);
            if (created)
                created(*h);
        }
        if (_MsgChat* ch = data.chats.value(c.getInt64("chat_id")))
            ch->_handles.insert(QString::number(rowid), h);
    }
}

void MsgTableLoader::reserveForMessages(qint64 chat)
{
    // Sizes known up front spare the tables from growing step by step over a million rows.
    Sqlite3Sql sql("select chat_id, count(*) from chat_message_join");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" where chat_id=%1").arg(chat));
    sql.appendSql(" group by chat_id");
    Sqlite3Cursor c = db.queryThrow(sql);
    qint64 total = 0;
    while (c.moveNext()) {
        const qint64 n = c.getInt64(1);
        total += n;
        if (_MsgChat* ch = data.chats.value(c.getInt64(0)))
            ch->_messages.reserve(ch->_messages.size() + n);
    }
    data.messages.reserve(data.messages.size() + total);
}

std::vector<qint64> MsgTableLoader::messagesWithAttachments()
{
    std::vector<qint64> ids;
    Sqlite3Cursor c = db.queryThrow("select distinct message_id from message_attachment_join");
    while (c.moveNext())
        ids.push_back(c.getInt64(0));
    std::sort(ids.begin(), ids.end());
    return ids;
}

void MsgTableLoader::loadMessages(
    qint64 chat, bool withItemType, MsgMessageColumns::Dates dates, bool chatLastDates)
{
    reserveForMessages(chat);
    const std::vector<qint64> withAttachments = messagesWithAttachments();
    Sqlite3Sql sql("select j.chat_id, m.* from chat_message_join as j inner join message as m on "
                   "j.message_id = m.rowid");
    // Rows of type 4 are skipped below anyway; the chats' dates need them read.
    if (withItemType && !chatLastDates)
        sql.appendSql(" and m.item_type <> 4");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" and j.chat_id=%1").arg(chat));
    Sqlite3Cursor c = db.queryThrow(sql);
    const MsgMessageColumns cols(c);
    const int chatCol = c.columnIndex(QStringLiteral("chat_id"));
    QHash<qint64, qint64> latest;
    while (c.moveNext()) {
        const qint64 chatId = c.getInt64(chatCol);
        if (chatLastDates && !c.isNull(cols.date)) {
            const qint64 date = c.getInt64(cols.date);
            auto it = latest.find(chatId);
            if (it == latest.end())
                latest.insert(chatId, date);
            else if (date > *it)
                *it = date;
        }
        if (c.getInt(cols.item_type) != 0)
            continue;
        const qint64 rowid = c.getInt64(cols.rowid);
        _MsgMessage*& slot = data.messages[rowid];
        _MsgMessage* m = slot;
        if (!m) {
            m = slot = data.newMessage();
            m->_sort_rowid = rowid;
            const bool attached = std::binary_search(withAttachments.begin(), withAttachments.end(), rowid);
            cols.fill(
                c, *m, dates, attached ? MsgMessageColumns::Body::Keep : MsgMessageColumns::Body::TextOnly);
        }
        linkMessage(rowid, m, chatId);
    }
    if (chatLastDates)
        setChatLastDates(latest);
}

void MsgTableLoader::setChatLastDates(const QHash<qint64, qint64>& latest)
{
    for (auto it = latest.cbegin(); it != latest.cend(); ++it)
        if (_MsgChat* ch = data.chats.value(it.key()))
            ch->_last = MsgMessageColumns::secondsFromEither(it.value());
}

void MsgTableLoader::linkMessage(qint64 rowid, _MsgMessage* m, qint64 chatId)
{
    if (_MsgHandle* h = data.handles.value(m->handle_id)) {
        m->_sender = h;
        if (m->country.isEmpty())
            m->country = h->country;
    }
    if (m->other_handle > 0)
        if (_MsgHandle* h = data.handles.value(m->other_handle))
            m->_other_handle = h;
    if (_MsgChat* ch = data.chats.value(chatId)) {
        m->_chat = ch;
        ch->_messages.insert(data.messageKey(rowid), m);
    }
}

void MsgTableLoader::loadAttachments(
    qint64 chat, const std::function<void(_MsgAttachment&, bool created)>& each)
{
    Sqlite3Sql sql(
        "select ma.message_id, ma.attachment_id, cm.chat_id, a.* from message_attachment_join as ma inner "
        "join attachment as a on ma.attachment_id=a.rowid inner join chat_message_join as cm on "
        "ma.message_id=cm.message_id");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" and cm.chat_id=%1").arg(chat));
    Sqlite3Cursor c = db.queryThrow(sql);
    while (c.moveNext()) {
        const qint64 aid = c.getInt64("attachment_id");
        _MsgAttachment* a = data.attachments.value(aid);
        const bool created = !a;
        if (created) {
            a = new _MsgAttachment;
            fillMsgAttachment(*a, c);
            data.attachments.insert(aid, a);
        }
        each(*a, created);
        if (_MsgMessage* m = data.messages.value(c.getInt64("message_id")))
            m->_attachments.insert(QString::number(aid), a);
    }
}
