#include "messages/store/IOS5MessageDb.h"

#include "device/PlistCFType.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgIdentity.h"
#include "messages/store/MsgPath.h"
#include "messages/store/MsgText.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

void sqlite3fun_read(sqlite3_context* context, int, sqlite3_value** argv)
{
    sqlite3_result_int(context, sqlite3_value_int(argv[0]) != 0 ? 1 : 0);
}

QStringList g_madridAttachmentGUIDS(const QByteArray& info)
{
    static const QRegularExpression rx(QStringLiteral(
        "[a-zA-Z0-9]{8}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{12}"));
    QString text;
    text.reserve(info.size());
    for (char ch : info) {
        const bool keep
            = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-';
        text += keep ? QLatin1Char(ch) : QLatin1Char(' ');
    }
    QStringList guids;
    auto it = rx.globalMatch(text);
    while (it.hasNext())
        guids << it.next().captured(0);
    return guids;
}

IOS5MessageDb::IOS5MessageDb(const QDir& folder, const _CountryInfo& country)
    : _contactsDb(folder, country)
    , _recycleDb(folder.absoluteFilePath(QStringLiteral("recycle.db")))
    , _countryDb(QString())
    , _countryInfo(country)
{
    _relayDir = QDir(folder.absoluteFilePath(QStringLiteral("file-relay")));
    _dbPath = _relayDir.absoluteFilePath(QStringLiteral("var/mobile/Library/SMS/sms.db"));
}

void IOS5MessageDb::openCheck()
{
    if (handle)
        return;
    openThrow(_dbPath, 2);
    sqlite3_create_function_v2(
        handle, "read", 1, SQLITE_ANY, nullptr, sqlite3fun_read, nullptr, nullptr, nullptr);
    Sqlite3Cursor c = queryThrow("select * from sqlite_master where type='table'");
    while (c.moveNext())
        _tables.insert(c.getText("name"), c.getText("sql"));
}

void IOS5MessageDb::chats(MsgData& data)
{
    openCheck();
    _contactsDb.openQuietly();
    __MsgData* d = data.p();

    Sqlite3Cursor c
        = queryThrow("select g.*,m.date-978307200 as last_date from msg_group as g inner join message as m "
                     "on g.newest_message=m.rowid");
    while (c.moveNext()) {
        const qint64 key = c.getInt64("rowid");
        if (d->chats.contains(key))
            continue;
        auto* chat = new _MsgChat;
        chat->rowid = key;
        chat->_last = c.getInt("last_date");
        chat->style = 45;
        chat->state = 3;
        chat->guid = QStringLiteral("SMS;-;") + QString::number(c.getInt("hash"));
        chat->chat_identifier = QStringLiteral("unknown");
        chat->service_name = QStringLiteral("SMS");
        chat->account_login = QStringLiteral("E:");
        d->chats.insert(key, chat);
    }

    c = queryThrow("select * from group_member");
    while (c.moveNext()) {
        const qint64 g = c.getInt64("group_id");
        _MsgChat* chat = d->chats.value(g);
        if (!chat)
            continue;
        const qint64 k = c.getInt64("rowid");
        _MsgHandle* h = d->handles.value(k);
        if (!h) {
            h = new _MsgHandle;
            d->handles.insert(k, h);
            h->rowid = k;
            h->country = c.getText("country");
            h->service = QStringLiteral("SMS");
            h->id = _countryDb.infoByCode(h->country, nullptr).formatNumber(c.getText("address"));
            _contactsDb.fillHandleContact(*h, "IOS5MessageDb::chats");
        }
        if (chat->_handles.contains(h->id))
            continue;
        if (chat->_handles.size() == 1) {
            chat->chat_identifier = genChatIdentifier(chat->guid);
            chat->guid = QStringLiteral("SMS;+;") + chat->chat_identifier;
            chat->room_name = chat->chat_identifier;
            chat->style = 43;
            chat->account_id = hashUUID(chat->guid.toUtf8());
        } else if (chat->_handles.isEmpty()) {
            chat->chat_identifier = h->id;
            chat->guid = QStringLiteral("SMS;-;") + h->id;
            chat->style = 45;
        }
        chat->_handles.insert(h->id, h);
    }

    if (!_tables.contains(QStringLiteral("madrid_chat")))
        return;
    QHash<QString, _MsgChat*> index;
    c = queryThrow("select * from madrid_chat");
    while (c.moveNext()) {
        const qint64 key = -c.getInt64("rowid");
        if (d->chats.contains(key))
            continue;
        const PlistCFType participants = PlistCFType::createCFPropertyList(c.getBlob("participants"));
        const int n = participants.array_size();
        auto* chat = new _MsgChat;
        chat->rowid = key;
        d->chats.insert(key, chat);
        chat->chat_identifier = _countryInfo.formatNumber(c.getText("chat_identifier"));
        chat->guid
            = (n < 2 ? QStringLiteral("iMessage;-;") : QStringLiteral("iMessage;+;")) + chat->chat_identifier;
        chat->style = c.getInt("style");
        chat->state = c.getInt("state");
        chat->account_id = c.getText("account_id");
        chat->service_name = QStringLiteral("iMessage");
        chat->account_login = c.getText("account_login");
        index.insert(chat->chat_identifier, chat);
        for (int i = 0; i < n; ++i) {
            auto* h = new _MsgHandle;
            h->rowid = -(qint64(d->handles.size()) + 1);
            h->service = QStringLiteral("iMessage");
            h->id = _countryInfo.formatNumber(participants.at(i).toString());
            _contactsDb.fillHandleContact(*h, "IOS5MessageDb::chats");
            d->handles.insert(h->rowid, h);
            chat->_handles.insert(h->id, h);
        }
    }
    for (const char* sql : { "select madrid_roomname,max(date) as last_date from message group by "
                             "madrid_roomname having madrid_roomname "
                             "is not null and madrid_roomname <> ''",
             "select madrid_handle,max(date) as last_date from message group by madrid_handle having "
             "madrid_handle is not "
             "null and madrid_handle <> ''" }) {
        c = queryThrow(sql);
        while (c.moveNext())
            if (_MsgChat* chat = index.value(c.getText(0)))
                chat->_last = c.getInt("last_date");
    }
}

namespace
{
void setFixedFields(_MsgMessage* m)
{
    m->replace = 0;
    m->handle_id = 0;
    m->version = 10;
    m->type = 0;
    m->is_delivered = 0;
    m->is_finished = 1;
    m->is_prepared = 1;
    m->is_read = 1;
    m->is_sent = 1;
    m->cache_has_attachments = 0;
    m->was_data_detected = 1;
}
} // namespace

void IOS5MessageDb::messages(MsgData& data, qint64 chat)
{
    openCheck();
    chats(data);
    __MsgData* d = data.p();

    QHash<QString, _MsgChat*> index;
    for (_MsgChat* ch : data.chats())
        index.insert(ch->chat_identifier, ch);

    const bool hasMadridAttachment = _tables.contains(QStringLiteral("madrid_attachment"));
    Sqlite3Sql sql("select m.* from message as m");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" where m.group_id=%1").arg(chat));
    else if (chat < 0)
        sql.appendSql(
            QStringLiteral(" inner join madrid_chat as c on (m.madrid_roomname=c.chat_identifier or "
                           "m.madrid_handle=c.chat_identifier) and c.rowid=%1")
                .arg(-chat));
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (d->messages.contains(rowid))
            continue;
        auto* m = new _MsgMessage;
        d->messages.insert(rowid, m);
        m->rowid = rowid;
        m->_sort_rowid = rowid;
        m->text = c.getText("text");
        m->service_center = c.getText("svc_center");
        m->subject = c.getText("subject");
        m->country = c.getText("country");
        setFixedFields(m);

        if (c.getInt("is_madrid") == 0) {
            m->guid = genUUID();
            m->service = QStringLiteral("SMS");
            m->account = QStringLiteral("e:");
            m->error = 0;
            m->date = int(quint32(c.getInt("date")) - 978307200u);
            m->date_read = m->date;
            m->date_delivered = m->date;
            m->is_from_me = c.getInt("flags") == 3 ? 1 : 0;
            _MsgChat* ch = d->chats.value(qint64(c.getInt("group_id")));
            if (!ch)
                continue;
            m->_chat = ch;
            ch->_messages.insert(QString::number(rowid), m);
            if (ch->_handles.size() == 1) {
                m->_sender = ch->_handles.begin().value();
            } else if (ch->_handles.size() > 1 && !m->is_from_me) {
                const QString addr
                    = _countryDb.infoByCode(c.getText("country"), nullptr).formatNumber(c.getText("address"));
                m->_sender = ch->_handles.value(addr);
            }
            continue;
        }

        const QByteArray madridBody = c.getBlob("madrid_attributedBody");
        m->guid = c.getText("madrid_guid");
        m->service = QStringLiteral("iMessage");
        m->account = c.getText("madrid_account");
        m->account_guid = c.getText("madrid_account_guid");
        m->error = c.getInt("madrid_error");
        m->date = c.getInt("date");
        m->date_read = c.getInt("madrid_date_read");
        m->date_delivered = c.getInt("madrid_date_delivered");
        m->is_from_me = m->date_delivered > 0 ? 1 : 0;
        const QString handleId = _countryInfo.formatNumber(c.getText("madrid_handle"));
        const QString room = c.getText("madrid_roomname");
        if (_MsgChat* ch = index.value(room.isEmpty() ? handleId : room)) {
            m->_chat = ch;
            ch->_messages.insert(QString::number(rowid), m);
            if (ch->_handles.size() == 1)
                m->_sender = ch->_handles.begin().value();
            else if (ch->_handles.size() > 1 && !m->is_from_me)
                m->_sender = ch->_handles.value(handleId);
        }
        if (!hasMadridAttachment)
            continue;
        for (const QString& g : g_madridAttachmentGUIDS(c.getBlob("madrid_attachmentInfo"))) {
            if (m->_attachments.contains(g))
                continue;
            Sqlite3Sql asql("select * from madrid_attachment where attachment_guid=?");
            asql.addTextParam(g);
            Sqlite3Cursor ac = queryThrow(asql);
            if (!ac.moveNext())
                continue;
            const qint64 key = -ac.getInt64("rowid");
            _MsgAttachment* a = d->attachments.value(key);
            if (!a) {
                a = new _MsgAttachment;
                d->attachments.insert(key, a);
                a->rowid = key;
                a->guid = ac.getText("attachment_guid");
                a->created_date = ac.getInt("created_date");
                a->start_date = ac.getInt("start_date");
                QString fn = ac.getText("filename");
                if (fn.startsWith(QLatin1String("/var/mobile/")))
                    fn = QStringLiteral("~/") + fn.mid(12);
                a->filename = fn;
                if (!fn.isEmpty())
                    a->_path = msgRelayPath(_relayDir, fn);
                a->uti = ac.getText("uti_type");
                a->mime_type = ac.getText("mime_type");
                a->transfer_state = ac.getInt("transfer_state");
                a->is_outgoing = ac.getInt("is_incoming") == 0 ? 1 : 0;
            }
            m->_attachments.insert(a->guid, a);
            if (m->_attachments.size() == 1)
                m->attributedBody = msgAttaAttributeBody(a->guid);
            else
                m->attributedBody = madridBody;
        }
    }

    if (chat < 0)
        return;
    Sqlite3Sql psql(
        "select p.*,m.group_id,m.flags as msg_flags from msg_pieces as p inner join message as m on "
        "p.message_id=m.rowid");
    if (chat > 0)
        psql.appendSql(QStringLiteral(" and m.group_id=%1").arg(chat));
    c = queryThrow(psql);
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (d->attachments.contains(rowid))
            continue;
        const int messageId = c.getInt("message_id");
        _MsgMessage* m = d->messages.value(qint64(messageId));
        if (!m)
            continue;
        const QString contentType = c.getText("content_type");
        const QString contentLoc = c.getText("content_loc");
        if (contentType.isEmpty()
            || contentType.startsWith(QLatin1String("application/"), Qt::CaseInsensitive))
            continue;
        if (contentType.compare(QLatin1String("text/plain"), Qt::CaseInsensitive) == 0) {
            const QByteArray blob = c.getBlob("data");
            const int zero = blob.indexOf('\0');
            const QString part = QString::fromUtf8(zero >= 0 ? blob.left(zero) : blob);
            m->text = (QString(m->text) + QLatin1Char('\n') + part).trimmed();
            continue;
        }
        if (contentLoc.isEmpty())
            continue;

        auto* a = new _MsgAttachment;
        d->attachments.insert(rowid, a);
        a->rowid = rowid;
        const int groupId = c.getInt("group_id");
        const int partId = c.getInt("part_id");
        const QString lastComponent = contentLoc.mid(contentLoc.lastIndexOf('/') + 1);
        const int dot = lastComponent.lastIndexOf('.');
        const QString suffix = dot >= 0 ? lastComponent.mid(dot + 1) : QString();
        const QString rel = QStringLiteral("var/mobile/Library/SMS/Parts/%1/%2/%3-%4.%5")
                                .arg(QString::number(groupId % 256, 16).rightJustified(2, '0'),
                                    QString::number(messageId % 16).rightJustified(2, '0'))
                                .arg(messageId)
                                .arg(partId)
                                .arg(suffix);
        a->guid = hashUUID(rel.toUtf8());
        a->_path = msgConfinedPath(_relayDir, rel);
        const QByteArray blob = c.getBlob("data");
        if (!blob.isEmpty() && !a->_path.isEmpty()) {
            QDir().mkpath(QFileInfo(a->_path).absolutePath());
            QFile f(a->_path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                f.write(blob);
                f.flush();
                f.close();
            }
        }
        a->created_date = int(QDateTime::currentSecsSinceEpoch() - 978307200);
        a->start_date = 0;
        a->filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                          .arg(a->guid.mid(0, 2).toLower(), a->guid.mid(2, 2).toLower(), a->guid, contentLoc);
        const QStringList typeParts = contentType.split('/', Qt::KeepEmptyParts);
        a->uti = QStringLiteral("public.") + (typeParts.size() > 1 ? typeParts.at(1) : QString());
        a->mime_type = contentType;
        a->transfer_state = 5;
        a->is_outgoing = c.getInt("msg_flags") == 3 ? 1 : 0;
        a->transfer_name = contentLoc;

        if (m->_attachments.isEmpty()) {
            m->_attachments.insert(a->guid, a);
            m->text = QString(m->text) + QChar(0xFFFC);
            m->attributedBody = msgAttaAttributeBody(a->guid);
        } else {
            qDebug() << "IOS5MessageDb::messages, clone attachment message.";
            auto* copy = new _MsgMessage(*m);
            copy->rowid = -1647483648LL - rowid;
            d->messages.insert(copy->rowid, copy);
            copy->guid = hashUUID(QStringLiteral("%1(%2)").arg(a->guid).arg(m->rowid).toUtf8());
            copy->text = QString(QChar(0xFFFC));
            copy->_attachments.clear();
            copy->_attachments.insert(a->guid, a);
            copy->attributedBody = msgAttaAttributeBody(a->guid);
        }
    }
}
