#pragma once

#include "messages/store/AbsMessageDb.h"

#include <QString>

// Base of the device message database readers (iOS 5 schema and iOS 6 and later).
class AbsIOSMessageDb : public AbsMessageDb
{
public:
    ~AbsIOSMessageDb() override = default;

    // Schema generation of the reader: 5 or 6.
    virtual int type() const = 0;
    // Number of messages as the message list shows them, counted by the list's own reading of them
    // (a message it cannot read fails the count); calls openCheck() first.
    virtual qint64 total() = 0;

    // Schema generation of the database at path: 6 when it has the tables chat, handle,
    // chat_handle_join, message and chat_message_join, else 5. Throws when the file is missing
    // (it is not created) or is not a database; writes nothing.
    static int checkDbType(const QString& path);
};
