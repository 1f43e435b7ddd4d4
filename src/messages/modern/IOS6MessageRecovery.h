#pragma once

#include "messages/store/MsgMessage.h"
#include "messages/store/RecoveredMessageIndex.h"
#include "messages/store/SqliteDeletedRowWalk.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <future>
#include <memory>

class IOS6MessageDb;
class Sqlite3StmtCache;
class IProgressSink;
class MessageRecycleDb;
class _MsgChat;

// One run of the deleted-message recovery of a modern message database: whole cells of free table
// leaves, then rows carved with both message-table shapes (and the file's own table when it is a
// third) from every free page and every leaf of the live message table; each new message is filed into the
// store of recovered messages, with the conversation its handle belongs to, inside one edit. Records
// written before the table gained columns are carved at their own, narrower widths. Where the
// table's root page is lost, its leaves are found by a scan of the file's pages; where none is
// found either, the free pages alone are read, and only the table's guid index tells which of their
// messages are live.
class IOS6MessageRecovery
{
public:
    IOS6MessageRecovery(IOS6MessageDb& db, const QList<_MsgChat*>& chats, IProgressSink* progress);
    ~IOS6MessageRecovery();

    void run();

    // Whether a carved row can be a message: 38 values or more and an SMS or iMessage service.
    static bool checkMessageRowValid(const _SqliteFileRowData& row);

    // The hashes of the bytes of every live guid; not usable where they cannot stand for the
    // live-row lookup (then every candidate is looked up).
    struct LiveGuidHashes {
        QSet<size_t> hashes;
        bool usable = false;
    };

private:
    void recover();
    void buildHandleMap(const QList<_MsgChat*>& chats);
    // A carving layout, and where its columns stand in the 78-column layout (empty: in place).
    struct Layout {
        _SqliteCarveShape shape;
        QList<int> order;
    };
    // The database's own message table: its columns, where they stand in the 78-column layout,
    // and what a record without one reads there.
    struct TableShape {
        QList<_SqliteCol> cols;
        QList<int> order;
        QList<QVariant> defaults;
    };
    TableShape readTableShape();
    // Lists the pages to carve, and the widths of the live records; false without a message table.
    bool listTablePages(const TableShape& table, QSet<int>* liveWidths);
    static QList<Layout> carveLayouts(const TableShape& table, const QSet<int>& liveWidths);
    static void allowNarrowerRecords(QList<Layout>& layouts, const QSet<int>& liveWidths);
    // The message a whole cell of the table holds.
    bool wholeCellMessage(const _SqliteFileRowData& cell, const TableShape& table, _MsgMessage* m) const;
    void carveListedPages(const QList<Layout>& layouts);
    QList<_MsgMessage> carvePage(const _SqliteBtreePage& page, const QList<Layout>& layouts) const;
    // The messages carved from a page that are not in the live table (run on the carving thread).
    QList<_MsgMessage> deletedOnPage(const _SqliteBtreePage& page, const QList<Layout>& layouts);
    // Files one decoded message unless it is live; carved tells the two paths apart.
    void file(const _MsgMessage& message, bool carved);
    // Files one message known not to be live.
    void fileDeleted(const _MsgMessage& message, bool carved);
    bool isLive(const QString& guid);
    // Looks the guid up in the database's message table (through its guid index).
    bool isInLiveTable(const QString& guid);
    void takeLiveGuidsIfRead();
    QString storedHandle(qint64 handleId);

    IOS6MessageDb& m_db;
    MessageRecycleDb& m_store;
    SqliteDeletedRowWalk m_walk;
    std::unique_ptr<Sqlite3StmtCache> m_storeStmts; // statements of the store, prepared once
    RecoveredMessageIndex m_storeIndex; // the stored messages the duplicate test looks for
    QHash<qint64, _MsgChat*> m_handleChats;
    // Of the database read, in one read transaction; used by one thread at a time (the carving
    // thread while pages are carved ahead).
    std::unique_ptr<Sqlite3StmtCache> m_liveStmts;
    LiveGuidHashes m_liveGuids; // taken from m_liveGuidsRead by the first lookup after it is read
    QHash<qint64, QString> m_storedHandles;
    // Where the table's root is lost, the live messages are the cells of its leaves found by a scan.
    bool m_rootLost = false;
    bool m_leavesLost = false; // and no leaf of the table was found either
    bool m_guidIndexLost = false; // nor could the table's guid index be read
    QSet<QString> m_orphanLiveGuids;
    qint64 m_given = 0; // deleted messages the run found (filed now or by an earlier run)
    // Last, so that it ends (it reads the walk's file) before the walk goes.
    std::future<LiveGuidHashes> m_liveGuidsRead;
};
