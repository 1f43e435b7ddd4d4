#include "messages/modern/IOS6MessageRecovery.h"

#include "app/IProgressSink.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/MessageCarveLayouts.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgTempDir.h"

#include <QFile>
#include <QSet>
#include <stdexcept>

namespace
{

constexpr int kMinMessageValues = 38;
constexpr int kFullMessageValues = 50;

// Rolls back the edit of the recovered-message store unless the run reached its commit.
class EditGuard
{
public:
    explicit EditGuard(MessageRecycleDb& store)
        : m_store(store)
    {
        m_store.beginEdit();
    }
    ~EditGuard()
    {
        if (m_open) {
            try {
                m_store.endEdit(false);
            } catch (const std::exception& e) {
                qWarning("Recovered-message store not rolled back: %s", e.what());
            }
        }
    }
    void commit()
    {
        m_open = false;
        m_store.endEdit(true);
    }

private:
    MessageRecycleDb& m_store;
    bool m_open = true;
};

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

// Dates above 10^17 are nanoseconds since 2001.
int dateSeconds(const QVariant& v)
{
    qint64 d = v.toLongLong();
    if (d > 100000000000000000LL)
        d /= 1000000000LL;
    return int(quint32(quint64(d)));
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
    , m_progress(progress)
    , m_copyDir(msgPrivateTempDir() + QStringLiteral("/recover-XXXXXX"))
{
    buildHandleMap(chats);
}

IOS6MessageRecovery::~IOS6MessageRecovery()
{
    m_file.reset();
    m_copy.close();
}

bool IOS6MessageRecovery::cancelled() const
{
    return m_progress && m_progress->isCancelled();
}

void IOS6MessageRecovery::makeCopy()
{
    const QString source = m_db.iosDbPath();
    if (!QFile::exists(source))
        throw std::runtime_error(QString("can not find message database %1.").arg(source).toStdString());
    if (!m_copyDir.isValid())
        throw std::runtime_error("Cannot create a temporary folder for the recovery.");
    m_copyPath = m_copyDir.filePath(QStringLiteral("sms.db"));
    if (!QFile::copy(source, m_copyPath))
        throw std::runtime_error(QString("Cannot copy %1.").arg(source).toStdString());
    // Committed changes still in the write-ahead log belong to the database: take the log along.
    if (QFile::exists(source + "-wal") && !QFile::copy(source + "-wal", m_copyPath + "-wal"))
        throw std::runtime_error(QString("Cannot copy %1-wal.").arg(source).toStdString());
    m_copy.openThrow(m_copyPath, 2);
    QString err;
    m_copy.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), err);
}

void IOS6MessageRecovery::buildHandleMap(const QList<_MsgChat*>& chats)
{
    for (_MsgChat* chat : chats) {
        const bool group = chat->isGroup();
        for (const _MsgHandle* h : std::as_const(chat->_handles)) {
            if (!h)
                continue;
            if (!group || !m_handleChats.contains(h->rowid))
                m_handleChats.insert(h->rowid, chat);
        }
    }
}

void IOS6MessageRecovery::run()
{
    makeCopy();
    m_file = std::make_unique<Sqlite3File>(m_copyPath);
    m_file->open();
    EditGuard edit(m_store);
    freePagePass();
    const QList<QList<_SqliteCol>> layouts = messageCarveLayouts();
    liveTableLeaves();
    const qint64 total = m_pages.size();
    for (qint64 i = 0; i < total; ++i) {
        if (cancelled())
            break;
        if (m_progress)
            m_progress->updateProgress(QString(), int(double(i + 1) / double(total) * 100.0), QString());
        bool go = true;
        for (const _MsgMessage& m : carvePage(m_pages.at(i), layouts)) {
            if (!(go = file(m, true)))
                break;
        }
        if (!go)
            break;
    }
    edit.commit();
}

void IOS6MessageRecovery::freePagePass()
{
    // A trunk chain that comes back to a trunk already read is damage: it ends the walk.
    QSet<quint32> seen;
    for (quint32 t = m_file->firstFreeTrunkPage(); t > 0 && !seen.contains(t);) {
        if (cancelled())
            return;
        seen.insert(t);
        m_pages.append(t);
        const _SqliteFreeTrunkPage trunk = m_file->freeTrunkPage(t);
        t = trunk.nextTrunk;
        freeTrunk(trunk);
    }
}

void IOS6MessageRecovery::freeTrunk(const _SqliteFreeTrunkPage& trunk)
{
    for (qint32 p : trunk.leafPages) {
        if (cancelled())
            return;
        const _SqliteBtreePage page = m_file->btreePage(p);
        if (!page.isBtreePage()) {
            m_pages.append(p);
            continue;
        }
        for (const _SqliteBtreePage& leaf : m_file->leafs(page)) {
            if (cancelled())
                return;
            m_pages.append(leaf.pageNo);
            if (leaf.type == 13)
                decodeWholeCells(leaf);
        }
    }
}

void IOS6MessageRecovery::decodeWholeCells(const _SqliteBtreePage& leaf)
{
    for (const char* cell : leaf.cells) {
        _MsgMessage m;
        const auto rr = m_file->cellRowData(m_file->pageCellRow(leaf, cell));
        if (m_db.recoverFetchMessage(rr, &m) && m.item_type == 0)
            file(m, false);
    }
}

void IOS6MessageRecovery::liveTableLeaves()
{
    Sqlite3Cursor c = m_copy.queryThrow(
        Sqlite3Sql("select rootpage from sqlite_master where type='table' and name='message'"));
    if (!c.moveNext())
        return;
    for (const _SqliteBtreePage& leaf : m_file->leafs(m_file->btreePage(c.getInt64("rootpage"))))
        m_pages.append(leaf.pageNo);
}

QList<_MsgMessage> IOS6MessageRecovery::carvePage(
    qint64 pageNo, const QList<QList<_SqliteCol>>& layouts) const
{
    QList<_MsgMessage> found;
    const _SqliteBtreePage page = m_file->btreePage(pageNo);
    for (const QList<_SqliteCol>& layout : layouts) {
        const QList<_SqliteFileRowData> rows = page.isBtreePage()
            ? m_file->recoverFreeBlockRows(layout, 0, page, &IOS6MessageRecovery::checkMessageRowValid)
            : m_file->recoverFreeBlockRowsRaw(
                layout, 0, pageNo, 0, &IOS6MessageRecovery::checkMessageRowValid);
        for (const _SqliteFileRowData& row : rows) {
            _MsgMessage m;
            if (m_db.recoverFetchMessage(row, &m) && m.item_type == 0)
                found.append(m);
        }
    }
    return found;
}

bool IOS6MessageRecovery::file(const _MsgMessage& m, bool carved)
{
    if (carved && cancelled())
        return false;
    // A message whose guid is still in the live table is a stale copy, not a deleted message.
    Sqlite3Sql live("select rowid from message where guid=?");
    live.addTextParam(m.guid);
    if (m_copy.queryThrow(live).moveNext()) {
        return true;
    }
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
    if (m_store.findMessageInChat(&m, chatId) != 0) {
        return true;
    }
    m_store.insertMessage(&m, chatId, handle, srcRowid);
    return true;
}

bool IOS6MessageRecovery::checkMessageRowValid(const _SqliteFileRowData& row)
{
    return row.values.size() >= kMinMessageValues && isMessageService(row.values.at(11).toString());
}

void IOS6MessageDb::recycleDeletedMessages(const QList<_MsgChat*>& chats, IProgressSink* progress)
{
    IOS6MessageRecovery(*this, chats, progress).run();
}

bool IOS6MessageDb::recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* m) const
{
    const QList<QVariant>& v = row.values;
    if (v.size() < kMinMessageValues)
        return false;
    m->rowid = row.rowid;
    m->guid = v[1].toString();
    m->text = v[2].toString();
    m->replace = v[3].toInt();
    m->service_center = v[4].toString();
    m->handle_id = v[5].toLongLong();
    m->subject = v[6].toString();
    m->country = v[7].toString();
    m->attributedBody = v[8].toByteArray();
    m->version = v[9].toInt();
    m->type = v[10].toInt();
    m->service = v[11].toString();
    if (!isMessageService(m->service))
        return false;
    m->account = v[12].toString();
    m->account_guid = v[13].toString();
    m->error = v[14].toInt();
    m->date = dateSeconds(v[15]);
    m->date_read = dateSeconds(v[16]);
    m->date_delivered = dateSeconds(v[17]);
    int* const flags[] = { &m->is_delivered, &m->is_finished, &m->is_emote, &m->is_from_me, &m->is_empty,
        &m->is_delayed, &m->is_auto_reply, &m->is_prepared, &m->is_read, &m->is_system_message, &m->is_sent,
        &m->has_dd_results, &m->is_service_message, &m->is_forward, &m->was_downgraded, &m->is_archive,
        &m->cache_has_attachments };
    for (int i = 0; i < 17; ++i)
        *flags[i] = v[18 + i].toInt();
    m->cache_roomnames = v[35].toString();
    m->was_data_detected = v[36].toInt();
    m->was_deduplicated = v[37].toInt();
    if (v.size() < kFullMessageValues)
        return true;
    int* const later[] = { &m->is_audio_message, &m->is_played, &m->date_played, &m->item_type };
    for (int i = 0; i < 4; ++i)
        *later[i] = v[38 + i].toInt();
    m->other_handle = int(quint32(quint64(v[42].toLongLong())));
    m->group_title = v[43].toString();
    int* const rest[] = { &m->group_action_type, &m->share_status, &m->share_direction, &m->is_expirable,
        &m->expire_state, &m->message_action_type };
    for (int i = 0; i < 6; ++i)
        *rest[i] = v[44 + i].toInt();
    return true;
}
