#include "messages/store/MsgChatMerge.h"

#include "messages/store/MsgChat.h"

QList<_MsgMessage*> _MsgChatMerge::messages() const
{
    QList<_MsgMessage*> list;
    for (const _MsgChat* c : chats)
        for (_MsgMessage* m : c->_messages)
            list << m;
    return list;
}

bool compareMsgChatMergeLastDesc(const _MsgChatMerge& a, const _MsgChatMerge& b)
{
    return a._last > b._last;
}
