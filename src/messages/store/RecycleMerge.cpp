// Merging the messages of the store of recovered messages into a loaded message model.
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgIdentity.h"

#include <QRegularExpression>

namespace
{

constexpr qint64 kUnknownChatBase = -2047483647LL;
constexpr qint64 kNamedChatBase = -1947483647LL;

struct ChatIndexes {
    QHash<QString, _MsgChat*> imessage;
    QHash<QString, _MsgChat*> sms;
};

bool isIMessage(const QString& service)
{
    return service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

// The synthetic rowid of a made conversation: the rule's value, or the next lower one that no
// conversation or handle of the model uses, so a made conversation never displaces another.
qint64 freeRowid(const MsgData& data, qint64 wanted)
{
    while (data.p()->chats.contains(wanted) || data.p()->handles.contains(wanted))
        --wanted;
    return wanted;
}

_MsgChat* makeIMessageChat(MsgData& data, qint64 rowid, const QString& identifier, const RecycleMsg& r)
{
    static const QRegularExpression uuid(
        "^[a-zA-Z0-9]{8}-[a-zA-Z0-9]{4}-[a-zA-Z0-9]{4}-[a-zA-Z0-9]{4}-[a-zA-Z0-9]{12}$");
    auto* chat = new _MsgChat;
    data.p()->chats.insert(rowid, chat);
    chat->rowid = rowid;
    chat->guid = QString("iMessage;-;%1").arg(identifier);
    chat->style = 45;
    chat->state = 3;
    chat->chat_identifier = identifier;
    chat->service_name = QStringLiteral("iMessage");
    chat->account_id = uuid.match(r.account_guid).hasMatch() ? r.account_guid : hashUUID(identifier.toUtf8());
    chat->account_login = r.account;
    chat->_last = 0;
    auto* handle = new _MsgHandle;
    data.p()->handles.insert(rowid, handle);
    handle->rowid = rowid;
    handle->id = identifier;
    handle->service = QStringLiteral("iMessage");
    chat->_handles.insert(identifier, handle);
    return chat;
}

_MsgChat* chatFor(MsgData& data, ChatIndexes& idx, const RecycleMsg& r, const _MsgMessage& m)
{
    QString key = r.chat_identifier;
    if (key.isEmpty()) {
        key = QString("unknown%1").arg(m.handle_id);
        if (!idx.sms.contains(key))
            idx.sms.insert(key, createSMSChat(data, freeRowid(data, kUnknownChatBase - m.handle_id), key));
        return idx.sms.value(key);
    }
    QHash<QString, _MsgChat*>& index = isIMessage(m.service) ? idx.imessage : idx.sms;
    if (!index.contains(key)) {
        const qint64 rowid = freeRowid(data, kNamedChatBase - m.handle_id);
        index.insert(key,
            isIMessage(m.service) ? makeIMessageChat(data, rowid, key, r) : createSMSChat(data, rowid, key));
    }
    return index.value(key);
}

_MsgHandle* senderIn(const _MsgChat* chat, const RecycleMsg& r, bool unknownChat)
{
    if (chat->_handles.isEmpty())
        return nullptr;
    if (chat->_handles.size() == 1 || unknownChat)
        return chat->_handles.begin().value();
    return chat->_handles.value(r.handle, nullptr);
}

} // namespace

_MsgChat* createSMSChat(MsgData& data, qint64 rowid, const QString& identifier)
{
    auto* chat = new _MsgChat;
    data.p()->chats.insert(rowid, chat);
    chat->rowid = rowid;
    chat->_last = 0;
    chat->style = 45;
    chat->state = 3;
    chat->guid = QString("SMS;-;%1").arg(identifier);
    chat->chat_identifier = identifier;
    chat->service_name = QStringLiteral("SMS");
    chat->account_login = QStringLiteral("E:");
    auto* handle = new _MsgHandle;
    data.p()->handles.insert(rowid, handle);
    handle->rowid = rowid;
    handle->service = QStringLiteral("SMS");
    handle->id = identifier;
    chat->_handles.insert(identifier, handle);
    return chat;
}

void MessageRecycleDb::mergeMessages(MsgData& data, const QList<RecycleMsg>& msgs)
{
    ChatIndexes idx;
    for (_MsgChat* c : data.chats()) {
        if (c)
            (isIMessage(c->service_name) ? idx.imessage : idx.sms).insert(c->chat_identifier, c);
    }
    for (const RecycleMsg& r : msgs) {
        if (data.p()->messages.contains(r.rowid))
            continue;
        auto* m = new _MsgMessage;
        data.p()->messages.insert(r.rowid, m);
        *m = static_cast<const _MsgMessage&>(r);
        m->_sort_rowid = -m->rowid;
        _MsgChat* chat = chatFor(data, idx, r, *m);
        m->_chat = chat;
        chat->_last = qMax(chat->_last, m->date);
        m->_sender = senderIn(chat, r, r.chat_identifier.isEmpty());
        chat->_messages.insert(QString::number(m->rowid), m);
    }
}
