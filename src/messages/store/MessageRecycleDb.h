#pragma once

#include "app/AbsDb.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/RecycleMsg.h"

#include <QList>

class MsgData;
class RecoveredMessageIndex;
class Sqlite3StmtCache;
class _MsgChat;

// An SMS conversation with its one handle, both put into data under rowid.
_MsgChat* createSMSChat(MsgData& data, qint64 rowid, const QString& identifier);

// The store of recovered messages, "recycle.db" in a message source's folder. Created with its
// schema on first use; rows are never deleted.
class MessageRecycleDb : public AbsDb
{
public:
    explicit MessageRecycleDb(const QString& path);
    ~MessageRecycleDb() override = default;

    void openCheck() override;

    // Whether a guid has the shape a device gives its messages (8-4-4-4-12 letters and digits);
    // the store keeps such a guid and gives any other message a fresh one.
    static bool hasDeviceGuidShape(const QString& guid);

    // With cache, the statement is prepared once for many inserts (recovery runs).
    qint64 insertMessage(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle,
        qint64 srcRowid, Sqlite3StmtCache* cache = nullptr);
    qint64 findMessage(const _MsgMessage* msg);
    // As findMessage, but a message with the same date, direction and text counts as stored only in
    // the same conversation: two deleted messages alike in different conversations are both kept.
    qint64 findMessageInChat(
        const _MsgMessage* msg, const QString& chatIdentifier, Sqlite3StmtCache* cache = nullptr);
    // Files a recovered message unless the store holds it already: found by findMessageInChat, or
    // a copy of it cut short (the same date and conversation, one text beginning with the other).
    // A stored copy whose text is cut short of this one's takes the whole text. True when a row
    // was added.
    // With index (loaded from this store in the same transaction, and told of nothing but this
    // function's inserts since), the stored rows are found without a query; the result is the same.
    bool fileRecovered(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle,
        qint64 srcRowid, Sqlite3StmtCache* cache = nullptr, RecoveredMessageIndex* index = nullptr);
    QList<RecycleMsg> messages();
    // How many messages messages() gives, without reading them.
    qint64 messageCount();
    qint64 findHandle(const _MsgHandle* handle);
    qint64 insertHandle(const _MsgHandle* handle, qint64 srcRowid);
    QList<_MsgHandle> handles();
    _MsgHandle handleBySrcRowId(qint64 srcRowid);
    void updateMessageChat(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle);

    // Adds recovered messages to a loaded model, each into the loaded conversation of its
    // identifier and kind, or into one made for it; merging the same list twice adds nothing.
    void mergeMessages(MsgData& data, const QList<RecycleMsg>& msgs);

    const QString& path() const { return m_path; }

private:
    // What the duplicate test found among the stored rows.
    struct StoredMatch {
        qint64 same = 0;
        qint64 cut = 0;
        QString sameText;
        QString cutText;
        void take(qint64 rowid, bool isSame, const QString& text, const QString& newText);
    };
    StoredMatch matchStored(const _MsgMessage* msg, const QString& chatIdentifier, Sqlite3StmtCache& stmts);
    StoredMatch matchIndexed(const _MsgMessage* msg, const QByteArray& chatIdentifier,
        const RecoveredMessageIndex& index, Sqlite3StmtCache& stmts);
    void updateText(qint64 rowid, const QString& text, Sqlite3StmtCache& stmts);
    qint64 insertMessagePrepared(const _MsgMessage* msg, const QString& guid, const QString& chatIdentifier,
        const QString& handle, qint64 srcRowid, Sqlite3StmtCache& cache);

    QString m_path;
};
