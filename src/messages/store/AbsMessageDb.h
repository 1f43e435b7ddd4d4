#pragma once

#include "app/AbsDb.h"

class MsgData;

// A message source: a reader over one SQLite message database that loads its conversations,
// participants, messages and attachments into a MsgData. Opens lazily; failures throw.
class AbsMessageDb : public AbsDb
{
public:
    ~AbsMessageDb() override = default;

    // Adds the conversations with their participants; calls openCheck() first.
    virtual void chats(MsgData& data) = 0;
    // Calls openCheck() and chats(data), then adds the messages with their attachments;
    // chat 0 reads every conversation.
    virtual void messages(MsgData& data, qint64 chat) = 0;
};
