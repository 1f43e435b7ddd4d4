#include "messages/store/MsgData.h"

__MsgData::~__MsgData()
{
    qDeleteAll(attachments);
    qDeleteAll(messages);
    qDeleteAll(handles);
    qDeleteAll(chats);
}

void __MsgData::removeMessage(_MsgMessage* message)
{
    if (!message)
        return;
    if (message->_chat)
        message->_chat->_messages.remove(QString::number(message->rowid));
    if (messages.value(message->rowid) == message)
        messages.remove(message->rowid);
    delete message;
}

void __MsgData::removeChat(_MsgChat* chat)
{
    if (!chat)
        return;
    // Messages still listed lose their link rather than keep a dangling one.
    for (_MsgMessage* m : chat->_messages)
        if (m && m->_chat == chat)
            m->_chat = nullptr;
    if (chats.value(chat->rowid) == chat)
        chats.remove(chat->rowid);
    delete chat;
}

MsgData::MsgData()
    : d(new __MsgData)
{
}

QList<_MsgChatMerge> MsgData::chatMergeList() const
{
    QHash<QString, _MsgChatMerge> groups;
    for (_MsgChat* c : d->chats) {
        auto it = groups.find(c->chat_identifier);
        if (it == groups.end()) {
            _MsgChatMerge g;
            g.chats << c;
            g._last = c->_last;
            groups.insert(c->chat_identifier, g);
        } else {
            it->chats << c;
            if (c->_last > it->_last)
                it->_last = c->_last;
        }
    }
    return groups.values();
}
