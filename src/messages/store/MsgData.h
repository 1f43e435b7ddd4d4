#pragma once

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgChatMerge.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"

#include <QHash>
#include <QList>
#include <QSharedPointer>

// The owner of every record of one loaded message model, each under its rowid.
class __MsgData
{
public:
    __MsgData() = default;
    __MsgData(const __MsgData&) = delete;
    __MsgData& operator=(const __MsgData&) = delete;
    // Deletes attachments, messages, handles and chats, in that order.
    ~__MsgData();

    // Takes a message out of its chat and of the model and deletes it.
    void removeMessage(_MsgMessage* message);
    // Takes a chat out of the model and deletes it; its messages must have been removed first.
    void removeChat(_MsgChat* chat);

    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    QHash<qint64, _MsgMessage*> messages;
    QHash<qint64, _MsgAttachment*> attachments;
};

// Shared handle to a message model; copies share one owner, freed with the last copy.
class MsgData
{
public:
    MsgData();

    __MsgData* p() const { return d.data(); }
    QList<_MsgChat*> chats() const { return d->chats.values(); }
    QList<_MsgMessage*> messages() const { return d->messages.values(); }
    // Chats grouped by chat identifier, in no defined order.
    QList<_MsgChatMerge> chatMergeList() const;

private:
    QSharedPointer<__MsgData> d;
};
