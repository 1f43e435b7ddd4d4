#pragma once

#include <QtGlobal>

class Sqlite3DB;

// How many chats, handles, messages and attachments a full load of a message database through
// MsgTableLoader (every chat) would hold, counted without building them.
struct MsgLoadCounts {
    qint64 chats = 0;
    qint64 handles = 0; // joined to a chat
    qint64 messages = 0; // in a chat, of item type 0
    qint64 attachments = 0; // of a message in a chat

    // withItemType: the message table has item_type; typeFourInQuery: the load's query itself
    // leaves out rows of type 4 (a row without a type is of type 0 there too). Failures throw.
    static MsgLoadCounts countThrow(Sqlite3DB& db, bool withItemType, bool typeFourInQuery);
};
