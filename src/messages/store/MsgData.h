#pragma once

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgChatMerge.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgMessageTable.h"

#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <memory>
#include <vector>

// The owner of every record of one loaded message model, each under its rowid.
//
// Messages are many (a million is not rare), so the readers make them with newMessage, in blocks
// that are freed together with the owner instead of one heap object at a time. A message made
// with plain new and put into messages is owned and deleted all the same.
class __MsgData
{
public:
    __MsgData() = default;
    __MsgData(const __MsgData&) = delete;
    __MsgData& operator=(const __MsgData&) = delete;
    // Deletes attachments, messages, handles and chats, in that order.
    ~__MsgData();

    // A new default message in the owner's blocks (or a copy of source); the caller puts it into
    // messages under its rowid.
    _MsgMessage* newMessage();
    _MsgMessage* newMessage(const _MsgMessage& source);
    // Takes over the storage of the messages other made with newMessage, which other's messages
    // table must not list: they are destroyed with this owner (records made by another thread).
    void adoptMessageStorage(__MsgData& other);
    // The key of a message in its chat's _messages: the rowid as decimal text, kept in the owner's
    // own storage (the chats that hold it live no longer than the owner).
    QString messageKey(qint64 rowid);

    // Takes a message out of its chat and of the model and deletes it.
    void removeMessage(_MsgMessage* message);
    // Takes a chat out of the model and deletes it; its messages must have been removed first.
    void removeChat(_MsgChat* chat);

    QHash<qint64, _MsgChat*> chats;
    QHash<qint64, _MsgHandle*> handles;
    MsgMessageTable messages;
    QHash<qint64, _MsgAttachment*> attachments;

private:
    struct Block {
        _MsgMessage* first = nullptr;
        size_t capacity = 0;
        size_t used = 0;
    };
    _MsgMessage* slot();
    bool inBlocks(const _MsgMessage* message) const;
    void destroyBlocks();

    std::vector<Block> m_blocks; // message storage, each block twice the size of the one before
    std::vector<std::unique_ptr<char16_t[]>> m_keyBlocks; // decimal texts of messageKey
    size_t m_keyUsed = 0;
};

// Shared handle to a message model; copies share one owner, freed with the last copy.
class MsgData
{
public:
    MsgData();

    __MsgData* p() const { return d.data(); }
    QList<_MsgChat*> chats() const { return d->chats.values(); }
    // In the order they were read (see MsgMessageTable::inOrder).
    QList<_MsgMessage*> messages() const { return d->messages.inOrder(); }
    // Chats grouped by chat identifier, in no defined order.
    QList<_MsgChatMerge> chatMergeList() const;

private:
    QSharedPointer<__MsgData> d;
};
