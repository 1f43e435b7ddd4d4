#pragma once

#include "messages/store/MsgMessage.h"

// One message read back from the store of recovered messages, with the conversation identifier
// and the address the recovery worked out for it.
class RecycleMsg : public _MsgMessage
{
public:
    QString chat_identifier;
    QString handle;
};
