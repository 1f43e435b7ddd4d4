#include "messages/modern/IOS6MessageRecovery.h"

#include "app/IProgressSink.h"
#include "app/ScopedEdit.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/MessageCarveLayouts.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"

namespace
{

constexpr int kMinMessageValues = 38;

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

// The handle of a conversation that a message is filed with: for a group the one with the
// smallest key, so the choice is the same in every run.
QString firstHandleId(const _MsgChat* chat)
{
    if (chat->_handles.isEmpty())
        return QString();
    QList<QString> keys = chat->_handles.keys();
    std::sort(keys.begin(), keys.end());
    const _MsgHandle* h = chat->_handles.value(keys.first());
    return h ? h->id : QString();
}

} // namespace

IOS6MessageRecovery::IOS6MessageRecovery(
    IOS6MessageDb& db, const QList<_MsgChat*>& chats, IProgressSink* progress)
    : m_db(db)
    , m_store(*db.recycleDb())
    , m_walk(db.iosDbPath(), progress)
{
    buildHandleMap(chats);
}

IOS6MessageRecovery::~IOS6MessageRecovery() = default;

void IOS6MessageRecovery::buildHandleMap(const QList<_MsgChat*>& chats)
{
    // A handle of a one-to-one conversation maps to it (the last such); one held only by groups
    // maps to the first of them.
    for (_MsgChat* chat : chats) {
        const bool group = chat->isGroup();
        for (const _MsgHandle* h : std::as_const(chat->_handles)) {
            if (h && (!group || !m_handleChats.contains(h->rowid)))
                m_handleChats.insert(h->rowid, chat);
        }
    }
}

void IOS6MessageRecovery::run()
{
    m_walk.open();
    ScopedEdit<MessageRecycleDb> edit(m_store);
    m_storeStmts = std::make_unique<Sqlite3StmtCache>(m_store);
    m_liveStmts = std::make_unique<Sqlite3StmtCache>(m_walk.copy());
    m_walk.listFreePages([this](const _SqliteFileRowData& row) {
        _MsgMessage m;
        if (m_db.recoverFetchMessage(row, &m) && m.item_type == 0)
            file(m, false);
    });
    QList<_SqliteCarveShape> layouts;
    for (const QList<_SqliteCol>& cols : messageCarveLayouts())
        layouts.append(_SqliteCarveShape(cols));
    if (m_walk.listTableLeaves(QStringLiteral("message"))) {
        m_walk.carvePages([&](const _SqliteBtreePage& page) {
            for (const _MsgMessage& m : carvePage(page, layouts)) {
                if (m_walk.cancelled())
                    return false;
                file(m, true);
            }
            return true;
        });
    }
    m_storeStmts.reset();
    m_liveStmts.reset();
    edit.commit();
}

QList<_MsgMessage> IOS6MessageRecovery::carvePage(
    const _SqliteBtreePage& page, const QList<_SqliteCarveShape>& layouts) const
{
    QList<_MsgMessage> found;
    for (const _SqliteCarveShape& layout : layouts) {
        for (const _SqliteFileRowData& row :
            m_walk.carve(page, layout, &IOS6MessageRecovery::checkMessageRowValid)) {
            _MsgMessage m;
            if (m_db.recoverFetchMessage(row, &m) && m.item_type == 0)
                found.append(m);
        }
    }
    return found;
}

bool IOS6MessageRecovery::isLive(const QString& guid)
{
    Sqlite3Sql live("select rowid from message where guid=?");
    live.addTextParam(guid);
    return m_liveStmts->firstInt64(live) != 0;
}

void IOS6MessageRecovery::file(const _MsgMessage& m, bool carved)
{
    // A message whose guid is still in the live table is a stale copy left by a page move, not a
    // deleted message (whole cells of free pages are such copies more often than not).
    if (isLive(m.guid))
        return;
    const _MsgChat* chat = m_handleChats.value(m.handle_id, nullptr);
    QString chatId;
    QString handle;
    qint64 srcRowid = m.rowid;
    if (chat) {
        chatId = chat->chat_identifier;
        handle = firstHandleId(chat);
        if (carved)
            srcRowid = 0;
    } else {
        chatId = handle = m_store.handleBySrcRowId(m.handle_id).id;
    }
    if (m_store.findMessageInChat(&m, chatId, m_storeStmts.get()) == 0)
        m_store.insertMessage(&m, chatId, handle, srcRowid, m_storeStmts.get());
}

bool IOS6MessageRecovery::checkMessageRowValid(const _SqliteFileRowData& row)
{
    return row.values.size() >= kMinMessageValues && isMessageService(row.values.at(11).toString());
}
