#pragma once

#include <QList>

class _MsgChat;
class _MsgMessage;

// The conversations that share one chat identifier, shown as one entry of the conversation list.
class _MsgChatMerge
{
public:
    // The messages of all chats of the group, unsorted.
    QList<_MsgMessage*> messages() const;

    QList<_MsgChat*> chats;
    int _last = 0;
};

// Newest group first. Equal dates compare false both ways (a strict weak order).
bool compareMsgChatMergeLastDesc(const _MsgChatMerge& a, const _MsgChatMerge& b);
