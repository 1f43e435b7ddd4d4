#pragma once

#include "app/AbsFormatExport.h"
#include "app/MadeFiles.h"
#include "app/MadeFolders.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgColumnBinder.h"
#include "messages/store/MsgFingerprintSet.h"
#include "messages/store/MsgStandingCopy.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <memory>
#include <vector>

class Sqlite3Stmt;
class _MsgMessage;

// Writes messages into a message database of the modern schema under a folder (the local message
// store layout), with their chats, handles, joins and attachment files, never twice the same
// message. The folders of the store and of its attachment files are held from the relay folder down
// (see HeldFolder): one another program swaps for a link meanwhile gets no file. init() opens or
// creates the store and begins one transaction; uninit() commits. Within a run the rowids of chats
// and handles already met are remembered, the statements of the per-message work are prepared once
// (a message's columns are bound with their own types, and only where they differ from the message
// before), and each chat's last date is raised once at the end. Into a store that held no message
// when the run began, the store is asked for a message only when its fingerprints match one the run
// wrote.
class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    ExportMessagesDb(const QDir& folder, const _CountryInfo& country);
    ~ExportMessagesDb() override;

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;
    // Ends a run without committing (cancel or failure): its rows are dropped, and a store the run
    // began goes again when it holds no message, with the attachment copies it made and the folders
    // made for it that then hold nothing.
    // Failures of the run name the store's file and the system's reason where SQLite keeps one.
    void abandon();

    IOS6MessageDb& db() { return msgDb; }
    // Local files of attachments that could not be copied into the store, in order met; one whose
    // copy failed is followed by ": " and why ("Cannot write <copy>: <the system's reason>").
    const QStringList& failedCopies() const { return m_failedCopies; }

private:
    void begin();
    void writeMessage(_MsgMessage& message);
    // Throws e again, naming the store's file with the reason, unless e names it already.
    [[noreturn]] void rethrowNamed(const std::exception& e);
    void removeStoreWithoutMessages();
    qint64 chatRowid(const _MsgChat& chat);
    qint64 chatRowidByGuid(const _MsgChat& chat);
    qint64 handleRowid(qint64 chatId, const _MsgHandle* handle);
    qint64 joinedHandleRowid(qint64 chatId, const _MsgHandle& handle);
    qint64 existingMessage(const _MsgMessage& message, const QString& hash);
    bool storeHoldsNoMessage();
    // Fingerprints of the UTF-8 a message's lookups bind (a null text binds as an empty one). A
    // message whose fingerprints the run has not written is not in a store that began empty;
    // one whose fingerprints it has is looked up in the store as ever.
    struct RunKeys {
        size_t hash = 0; // unused when the store has no logic_hash column
        size_t guid = 0;
    };
    RunKeys runKeys(const _MsgMessage& message, const QString& hash) const;
    bool mayBeWritten(const RunKeys& keys) const;
    void noteWritten(const RunKeys& keys);
    // Joins are written in batches (nothing in a run reads them back); uninit() writes the rest.
    void joinChatMessage(qint64 chatId, qint64 messageId, int date);
    void flushJoins();
    using ColumnNames = MsgColumnBinder::Names;
    struct InsertStatement {
        ColumnNames names;
        MsgColumnBinder::Bound bound; // dropped after the statement
        std::unique_ptr<Sqlite3Stmt> stmt;
    };
    InsertStatement& insertStatement(const ColumnNames& names);
    qint64 insertMessage(const _MsgMessage& message, qint64 senderId, qint64 otherId, const QString& hash);
    void writeAttachments(const _MsgMessage& message, qint64 messageId);
    void copyAttachmentFileOf(const _MsgAttachment& attachment);
    // The folder at the way of the phone's names parts below the relay folder, each named as
    // KeptFileName gives it, made where missing and held; invalid, with *why naming the folder that
    // could not be made and the system's reason, on failure.
    HeldFolder wayTo(const QStringList& parts, QString* why);
    // Removes the folders the last wayTo() made while they hold nothing, innermost first.
    void takeBackWay();
    // Runs sql through a statement prepared once per text; returns the first column of the first
    // row (0 when there is none).
    qint64 run(const Sqlite3Sql& sql);
    void dropStatements();

    IOS6MessageDb msgDb;
    QDir relayDir;
    MadeFolders m_made; // the folders the run made for the store
    MadeFiles m_copies; // the attachment copies the run made
    HeldFolder m_relay; // relayDir, held from init()
    HeldFolder m_storeFolder; // the store's folder, held from init()
    std::unique_ptr<MsgStandingCopy> m_standing; // what to do with a file at a copy's name
    // The folders of the last way made below m_relay, by name: attachments in a row mostly share
    // their first folders, which are then neither looked up nor made again.
    QStringList m_wayNames;
    QStringList m_wayLocal; // their names in their folders (KeptFileName)
    std::vector<HeldFolder> m_way;
    size_t m_wayMadeFrom = 0; // the first of m_way the last wayTo() made
    bool m_madeStore = false; // the store's file was not there when the run began
    QStringList m_failedCopies;
    Sqlite3StmtCache m_stmts { msgDb };
    std::vector<InsertStatement> m_inserts; // one per message column list met
    size_t m_lastInsert = 0;
    MsgColumnBinder m_row; // the message being inserted
    sqlite3* m_insertHandle = nullptr; // the connection m_inserts were made on
    QHash<QString, qint64> m_chats; // guid -> rowid
    QHash<QString, qint64> m_handles; // id and service -> rowid
    QSet<QPair<qint64, qint64>> m_chatHandles; // joined (chat, handle)
    // The same by the objects of this run's messages.
    QHash<const _MsgChat*, qint64> m_chatObjects;
    QHash<QPair<qint64, const _MsgHandle*>, qint64> m_handleObjects; // joined to the chat
    QHash<qint64, int> m_lastDates; // chat -> newest date written
    QHash<qint64, QString> m_lastHandles; // chat -> last addressed handle set
    struct PendingJoin {
        qint64 chatId;
        qint64 messageId;
        int date;
    };
    static constexpr size_t kJoinBatch = 64;
    std::vector<PendingJoin> m_joins; // in the order met
    // The RunKeys of the messages written by this run, kept when the store began empty.
    bool m_startedEmpty = false;
    MsgFingerprintSet m_writtenHashes;
    MsgFingerprintSet m_writtenGuids;
    // Columns of the store, read once init() opened it.
    bool m_itemType = false;
    bool m_logicHash = false;
    bool m_joinDate = false;
};
