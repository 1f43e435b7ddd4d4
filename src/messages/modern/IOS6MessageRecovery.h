#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/Sqlite3File.h"

#include <QHash>
#include <QList>
#include <QTemporaryDir>
#include <memory>

class IOS6MessageDb;
class IProgressSink;
class MessageRecycleDb;
class _MsgChat;

// One run of the deleted-message recovery of a modern message database: a private copy of the file
// (with its -wal, checkpointed into it), the free-page pass over the freelist, then the carving pass
// over the free pages and the live message table's leaves, every new message filed into the store
// of recovered messages inside one edit.
class IOS6MessageRecovery
{
public:
    IOS6MessageRecovery(IOS6MessageDb& db, const QList<_MsgChat*>& chats, IProgressSink* progress);
    ~IOS6MessageRecovery();

    void run();

    // Whether a carved row can be a message: 38 values or more and an SMS or iMessage service.
    static bool checkMessageRowValid(const _SqliteFileRowData& row);

private:
    void makeCopy();
    void buildHandleMap(const QList<_MsgChat*>& chats);
    void freePagePass();
    void freeTrunk(const _SqliteFreeTrunkPage& trunk);
    void decodeWholeCells(const _SqliteBtreePage& leaf);
    void liveTableLeaves();
    void carvingPass();
    QList<_MsgMessage> carvePage(qint64 pageNo, const QList<QList<_SqliteCol>>& layouts) const;
    // Files one decoded message; carved tells the two paths apart. False when cancelled.
    bool file(const _MsgMessage& message, bool carved);
    bool cancelled() const;

    IOS6MessageDb& m_db;
    MessageRecycleDb& m_store;
    IProgressSink* m_progress;
    QTemporaryDir m_copyDir;
    QString m_copyPath;
    Sqlite3DB m_copy; // the private copy, for the checkpoint, the root page and the live test
    std::unique_ptr<Sqlite3File> m_file;
    QHash<qint64, _MsgChat*> m_handleChats;
    QList<qint64> m_pages;
};
