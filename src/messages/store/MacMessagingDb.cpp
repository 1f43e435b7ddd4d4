#include "messages/store/MacMessagingDb.h"

#include "messages/store/MsgData.h"

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
        fillMsgChat(*ch, c);
        d->chats.insert(rowid, ch);
    }
    c = queryThrow(
        "select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        _MsgHandle* h = d->handles.value(rowid);
        if (!h) {
            h = new _MsgHandle;
            fillMsgHandle(*h, c);
            d->handles.insert(rowid, h);
        }
        if (_MsgChat* ch = d->chats.value(c.getInt64("chat_id")))
            ch->_handles.insert(QString::number(rowid), h);
    }
}

MsgMessageColumns::Dates MacMessagingDb::messageDates() const
{
    // Tables of later systems (those with ck_record_id) keep nanoseconds.
    return tableSql.value(QStringLiteral("message"))
               .contains(QLatin1String("ck_record_id"), Qt::CaseInsensitive)
        ? MsgMessageColumns::Dates::Nanoseconds
        : MsgMessageColumns::Dates::Seconds;
}

void MacMessagingDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& m)
{
    MsgMessageColumns(c).fill(c, m, messageDates());
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
    const MsgMessageColumns cols(c);
    const MsgMessageColumns::Dates dates = messageDates();
    const int chatCol = c.columnIndex(QStringLiteral("chat_id"));
    while (c.moveNext()) {
        if (c.getInt(cols.item_type) != 0)
            continue;
        const qint64 rowid = c.getInt64(cols.rowid);
        _MsgMessage* m = d->messages.value(rowid);
        if (!m) {
            m = new _MsgMessage;
            d->messages.insert(rowid, m);
            m->_sort_rowid = rowid;
            cols.fill(c, *m, dates);
        }
        d->linkMessage(rowid, m, c.getInt64(chatCol));
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
            fillMsgAttachment(*a, c);
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
