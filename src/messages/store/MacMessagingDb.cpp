#include "messages/store/MacMessagingDb.h"

#include "messages/store/MsgData.h"
#include "messages/store/MsgText.h"

#include <QFileInfo>
#include <QRegularExpression>

MacMessagingDb::MacMessagingDb(const QDir& folder)
    : dbDir(folder)
    , dbPath(folder.absoluteFilePath(QStringLiteral("chat.db")))
{
}

QDir MacMessagingDb::defaultFolder()
{
    return QDir(QDir::home().absoluteFilePath(QStringLiteral("Library/Messages")));
}

void MacMessagingDb::openCheck()
{
    if (handle)
        return;
    // The user's live Messages database: never opened for writing.
    openReadOnlyThrow(dbPath);
    Sqlite3Cursor c = queryThrow("select * from sqlite_master where type='table'");
    while (c.moveNext()) {
        const QString sql = c.getText("sql");
        tableSql.insert(c.getText("name"), sql);
    }
}

void MacMessagingDb::chats(MsgData& data)
{
    openCheck();
    __MsgData* d = data.p();
    Sqlite3Cursor c = queryThrow("select * from chat");
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (d->chats.contains(rowid))
            continue;
        auto* ch = new _MsgChat;
        ch->rowid = rowid;
        ch->guid = c.getText("guid");
        ch->style = c.getInt("style");
        ch->state = c.getInt("state");
        ch->account_id = c.getText("account_id");
        ch->properties = c.getBlob("properties");
        ch->chat_identifier = c.getText("chat_identifier");
        ch->service_name = c.getText("service_name");
        ch->room_name = c.getText("room_name");
        ch->account_login = c.getText("account_login");
        ch->is_archived = c.getInt("is_archived");
        ch->last_addressed_handle = c.getText("last_addressed_handle");
        ch->display_name = c.getText("display_name");
        ch->_last = c.getInt("_last");
        ch->group_id = c.getText("group_id");
        d->chats.insert(rowid, ch);
    }
    c = queryThrow(
        "select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        _MsgHandle* h = d->handles.value(rowid);
        if (!h) {
            h = new _MsgHandle;
            h->rowid = rowid;
            h->id = c.getText("id");
            h->country = c.getText("country");
            h->service = c.getText("service");
            h->uncanonicalized_id = c.getText("uncanonicalized_id");
            h->_ct_name = c.getText("_ct_name");
            h->_photo = c.getBlob("_photo");
            d->handles.insert(rowid, h);
        }
        if (_MsgChat* ch = d->chats.value(c.getInt64("chat_id")))
            ch->_handles.insert(QString::number(rowid), h);
    }
}

void MacMessagingDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& m)
{
    m.rowid = c.getInt64("rowid");
    m.guid = c.getText("guid");
    m.text = c.getText("text");
    m.replace = c.getInt("replace");
    m.service_center = c.getText("service_center");
    m.handle_id = c.getInt64("handle_id");
    m.subject = c.getText("subject");
    m.country = c.getText("country");
    m.attributedBody = c.getBlob("attributedBody");
    m.version = c.getInt("version");
    m.type = c.getInt("type");
    m.service = c.getText("service");
    m.account = c.getText("account");
    m.account_guid = c.getText("account_guid");
    m.error = c.getInt("error");
    if (tableSql.value(QStringLiteral("message"))
            .contains(QLatin1String("ck_record_id"), Qt::CaseInsensitive)) {
        m.date = int(c.getInt64("date") / 1000000000LL);
        m.date_read = int(c.getInt64("date_read") / 1000000000LL);
        m.date_delivered = int(c.getInt64("date_delivered") / 1000000000LL);
    } else {
        m.date = c.getInt("date");
        m.date_read = c.getInt("date_read");
        m.date_delivered = c.getInt("date_delivered");
    }
    m.is_delivered = c.getInt("is_delivered");
    m.is_finished = c.getInt("is_finished");
    m.is_emote = c.getInt("is_emote");
    m.is_from_me = c.getInt("is_from_me");
    m.is_empty = c.getInt("is_empty");
    m.is_delayed = c.getInt("is_delayed");
    m.is_auto_reply = c.getInt("is_auto_reply");
    m.is_prepared = c.getInt("is_prepared");
    m.is_read = c.getInt("is_read");
    m.is_system_message = c.getInt("is_system_message");
    m.is_sent = c.getInt("is_sent");
    m.has_dd_results = c.getInt("has_dd_results");
    m.is_service_message = c.getInt("is_service_message");
    m.is_forward = c.getInt("is_forward");
    m.was_downgraded = c.getInt("was_downgraded");
    m.is_archive = c.getInt("is_archive");
    m.cache_has_attachments = c.getInt("cache_has_attachments");
    m.cache_roomnames = c.getText("cache_roomnames");
    m.was_data_detected = c.getInt("was_data_detected");
    m.was_deduplicated = c.getInt("was_deduplicated");
    m.is_audio_message = c.getInt("is_audio_message");
    m.is_played = c.getInt("is_played");
    m.date_played = c.getInt("date_played");
    m.item_type = c.getInt("item_type");
    m.other_handle = c.getInt("other_handle");
    m.group_title = c.getText("group_title");
    m.group_action_type = c.getInt("group_action_type");
    m.share_status = c.getInt("share_status");
    m.share_direction = c.getInt("share_direction");
    m.is_expirable = c.getInt("is_expirable");
    m.expire_state = c.getInt("expire_state");
    m.message_action_type = c.getInt("message_action_type");
    // Newer systems leave the text column empty and keep the text only in the attributed body.
    if (m.text.isEmpty() && !m.attributedBody.isEmpty()) {
        const QString t = msgTextFromAttributedBody(m.attributedBody);
        if (!t.isNull())
            m.text = t;
    }
}

void MacMessagingDb::messages(MsgData& data, qint64 chat)
{
    openCheck();
    chats(data);
    __MsgData* d = data.p();
    Sqlite3Sql sql("select j.chat_id, m.* from chat_message_join as j inner join message as m on "
                   "j.message_id = m.rowid");
    if (tableSql.value(QStringLiteral("message")).contains(QLatin1String("item_type")))
        sql.appendSql(" and m.item_type <> 4");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" and j.chat_id=%1").arg(chat));
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        if (c.getInt("item_type") != 0)
            continue;
        const qint64 rowid = c.getInt64("rowid");
        _MsgMessage* m = d->messages.value(rowid);
        if (!m) {
            m = new _MsgMessage;
            d->messages.insert(rowid, m);
            m->_sort_rowid = rowid;
            fillMessage(c, *m);
        }
        if (_MsgHandle* h = d->handles.value(m->handle_id)) {
            m->_sender = h;
            if (m->country.isEmpty())
                m->country = h->country;
        }
        if (m->other_handle > 0)
            if (_MsgHandle* h = d->handles.value(m->other_handle))
                m->_other_handle = h;
        if (_MsgChat* ch = d->chats.value(c.getInt64("chat_id"))) {
            m->_chat = ch;
            ch->_messages.insert(QString::number(rowid), m);
        }
    }

    sql = Sqlite3Sql(
        "select ma.message_id, ma.attachment_id, cm.chat_id, a.* from message_attachment_join as ma inner "
        "join attachment as a on ma.attachment_id=a.rowid inner join chat_message_join as cm on "
        "ma.message_id=cm.message_id");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" and cm.chat_id=%1").arg(chat));
    c = queryThrow(sql);
    // The attachments of the Messages folder; a path read from the database that leads elsewhere
    // is not followed.
    const QString root = QDir::cleanPath(dbDir.absolutePath()) + QLatin1Char('/');
    QString home = QDir::home().absolutePath();
    if (!home.endsWith('/'))
        home += '/';
    static const QRegularExpression leadHome(QStringLiteral("^~/"));
    while (c.moveNext()) {
        const qint64 aid = c.getInt64("attachment_id");
        _MsgAttachment* a = d->attachments.value(aid);
        if (!a) {
            a = new _MsgAttachment;
            a->rowid = c.getInt64("rowid");
            a->guid = c.getText("guid");
            a->created_date = c.getInt("created_date");
            a->start_date = c.getInt("start_date");
            a->filename = c.getText("filename");
            a->uti = c.getText("uti");
            a->mime_type = c.getText("mime_type");
            a->transfer_state = c.getInt("transfer_state");
            a->is_outgoing = c.getInt("is_outgoing");
            a->user_info = c.getBlob("user_info");
            a->transfer_name = c.getText("transfer_name");
            a->total_bytes = c.getInt64("total_bytes");
            d->attachments.insert(aid, a);
            if (!a->filename.isEmpty()) {
                QString local = a->filename;
                local.replace(leadHome, home);
                local = QDir::cleanPath(local);
                a->_path = local.startsWith(root) ? local : QString();
                a->filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                                  .arg(a->guid.mid(0, 2).toLower(), a->guid.mid(2, 2).toLower(), a->guid,
                                      QFileInfo(a->filename).fileName());
            }
        }
        if (_MsgMessage* m = d->messages.value(c.getInt64("message_id")))
            m->_attachments.insert(QString::number(aid), a);
    }
}
