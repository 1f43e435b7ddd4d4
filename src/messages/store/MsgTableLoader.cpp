#include "messages/store/MsgTableLoader.h"

#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Row.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgTableLoaderSplit.h"

#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace
{
// The share of the joined rows the loading thread reads itself when a second connection reads the
// rest: it also puts every row of both into the model.
constexpr double kFirstShare = 0.35;
constexpr size_t kChunkRows = 2048; // rows handed over at a time
} // namespace

struct MsgTableLoader::Row {
    qint64 chatId = 0;
    qint64 rowid = 0;
    qint64 date = 0;
    bool dated = false; // the date is not NULL (read only when the chats' dates are wanted)
    bool plain = false; // item type 0: a message the model takes
    _MsgMessage* made = nullptr; // its record, when another thread made it
};

struct MsgTableLoader::Reading {
    MsgMessageColumns::Dates dates;
    const std::vector<qint64>* withAttachments;
};

// Rows a reading thread hands over, in their order, with how its reading ended.
class MsgTableLoader::RowQueue
{
public:
    void push(std::vector<Row>&& rows)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_chunks.push_back(std::move(rows));
        m_ready.notify_one();
    }
    void finish(std::exception_ptr error)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
        m_error = std::move(error);
        m_ready.notify_one();
    }
    // The next rows; false once the reading has ended and every row was taken.
    bool pop(std::vector<Row>& rows)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_chunks.empty() || m_done; });
        if (m_chunks.empty())
            return false;
        rows = std::move(m_chunks.front());
        m_chunks.pop_front();
        return true;
    }
    std::exception_ptr error()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

    std::atomic<bool> stop { false }; // asks the reading to end early
    std::atomic<bool> started { false }; // the reading's connection is open and its query prepared

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::vector<Row>> m_chunks;
    bool m_done = false;
    std::exception_ptr m_error;
};

MsgTableLoader::MsgTableLoader(Sqlite3DB& db, __MsgData& data)
    : db(db)
    , data(data)
{
}

void MsgTableLoader::loadChats()
{
    Sqlite3Cursor c = db.queryThrow(
        QStringLiteral("select %1 from chat").arg(db.columnsOf(QStringLiteral("chat"), msgChatColumns())));
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (data.chats.contains(rowid))
            continue;
        auto* ch = new _MsgChat;
        fillMsgChat(*ch, c);
        data.chats.insert(rowid, ch);
    }
}

void MsgTableLoader::loadHandles(const std::function<void(_MsgHandle&)>& created)
{
    Sqlite3Cursor c = db.queryThrow(
        QStringLiteral("select j.chat_id, %1 from chat_handle_join as j inner join handle as h on "
                       "j.handle_id = h.rowid")
            .arg(db.columnsOf(QStringLiteral("handle"), msgHandleColumns(), QStringLiteral("h"))));
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        _MsgHandle* h = data.handles.value(rowid);
        if (!h) {
            h = new _MsgHandle;
            fillMsgHandle(*h, c);
            data.handles.insert(rowid, h);
            if (created)
                created(*h);
        }
        if (_MsgChat* ch = data.chats.value(c.getInt64("chat_id")))
            ch->_handles.insert(QString::number(rowid), h);
    }
}

qint64 MsgTableLoader::reserveForMessages(qint64 chat)
{
    // Sizes known up front spare the tables from growing step by step over a million rows.
    Sqlite3Sql sql("select chat_id, count(*) from chat_message_join");
    if (chat > 0)
        sql.appendSql(QStringLiteral(" where chat_id=%1").arg(chat));
    sql.appendSql(" group by chat_id");
    Sqlite3Cursor c = db.queryThrow(sql);
    qint64 total = 0;
    while (c.moveNext()) {
        const qint64 n = c.getInt64(1);
        total += n;
        if (_MsgChat* ch = data.chats.value(c.getInt64(0)))
            ch->_messages.reserve(ch->_messages.size() + n);
    }
    data.messages.reserve(data.messages.size() + total);
    return total;
}

std::vector<qint64> MsgTableLoader::messagesWithAttachments()
{
    std::vector<qint64> ids;
    Sqlite3Cursor c = db.queryThrow("select distinct message_id from message_attachment_join");
    while (c.moveNext())
        ids.push_back(c.getInt64(0));
    std::sort(ids.begin(), ids.end());
    return ids;
}

MsgTableLoader::MessageRows MsgTableLoader::loadMessages(
    qint64 chat, bool withItemType, MsgMessageColumns::Dates dates, bool chatLastDates)
{
    messageRows = MessageRows();
    const qint64 rows = messageRows.joined = reserveForMessages(chat);
    const std::vector<qint64> withAttachments = messagesWithAttachments();
    QString sql = messageSql(db, withItemType && !chatLastDates, withoutIndexes);
    if (chat > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chat);
    const Reading reading { dates, &withAttachments };
    QHash<qint64, qint64> latest;
    QHash<qint64, qint64>* dated = chatLastDates ? &latest : nullptr;
    MsgTableLoaderSplit split;
    if (chat <= 0 && rows >= splitFrom && !withoutIndexes && mayReadAlongside()
        && split.plan(
            db, sql, QStringLiteral("chat_message_join"), QStringLiteral("j"), qint64(rows * kFirstShare)))
        loadRowsSplit(split, sql, reading, dated);
    else
        loadRows(sql, reading, dated);
    if (chatLastDates)
        setChatLastDates(latest);
    return messageRows;
}

QString MsgTableLoader::messageSql(Sqlite3DB& db, bool typeFourLeftOut, bool withoutIndexes)
{
    // The message is still found by its rowid: that is the table's own b-tree, not an index.
    QString sql = QStringLiteral("select %1 from chat_message_join as j%2 inner join message as m%2 on "
                                 "j.message_id = m.rowid")
                      .arg(selectedColumns(db), withoutIndexes ? QStringLiteral(" not indexed") : QString());
    // Rows of type 4 are skipped anyway; the chats' dates need them read.
    if (typeFourLeftOut)
        sql += QStringLiteral(" and %1 <> 4").arg(QLatin1String(kItemTypeSql));
    return sql;
}

qint64 MsgTableLoader::countPlainThrow(Sqlite3DB& db, bool withItemType, bool chatLastDates)
{
    Sqlite3Cursor c = db.queryThrow(messageSql(db, withItemType && !chatLastDates, true));
    const MsgMessageColumns cols(c);
    qint64 plain = 0;
    while (c.moveNext())
        if (c.getInt(cols.item_type) == 0)
            ++plain;
    return plain;
}

QString MsgTableLoader::selectedColumns(Sqlite3DB& db)
{
    // Only the columns a record takes (and the integer primary key, the rowid's own column): the
    // message tables of later systems hold many more, and each column selected is decoded for
    // every row.
    QSet<QString> taken;
    for (const QString& name : MsgMessageColumns::names())
        taken.insert(name.toLower());
    QStringList cols { QStringLiteral("j.chat_id") };
    for (const _SqliteCol& col : db.tbCols(QStringLiteral("message")))
        if (taken.contains(col.name.toLower())
            || (col.primaryKey && col.type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0))
            cols << QStringLiteral("m.") + Sqlite3Row::quoteName(col.name);
    return cols.size() > 1 ? cols.join(QLatin1String(", ")) : QStringLiteral("j.chat_id, m.rowid");
}

bool MsgTableLoader::mayReadAlongside() const
{
    // A second connection sees only what is in the file: nothing may be pending on this one.
    const QString path = db.dbPath();
    return db.tranDepth() == 0 && db.handle && sqlite3_get_autocommit(db.handle) && !path.isEmpty()
        && path != QLatin1String(":memory:") && !path.startsWith(QLatin1String("file::memory:"));
}

MsgTableLoader::Row MsgTableLoader::readRow(
    const Sqlite3Cursor& c, const MsgMessageColumns& cols, int chatCol, bool dated)
{
    Row r;
    r.chatId = c.getInt64(chatCol);
    if (dated && !c.isNull(cols.date)) {
        r.dated = true;
        r.date = c.getInt64(cols.date);
    }
    r.plain = c.getInt(cols.item_type) == 0;
    if (r.plain)
        r.rowid = c.getInt64(cols.rowid);
    return r;
}

void MsgTableLoader::fillMessage(const Sqlite3Cursor& c, const MsgMessageColumns& cols,
    const Reading& reading, _MsgMessage& m, qint64 rowid)
{
    m._sort_rowid = rowid;
    const bool attached
        = std::binary_search(reading.withAttachments->begin(), reading.withAttachments->end(), rowid);
    cols.fill(
        c, m, reading.dates, attached ? MsgMessageColumns::Body::Keep : MsgMessageColumns::Body::TextOnly);
}

template <typename Fill> void MsgTableLoader::takeRow(const Row& r, QHash<qint64, qint64>* latest, Fill fill)
{
    ++messageRows.read;
    if (latest && r.dated) {
        auto it = latest->find(r.chatId);
        if (it == latest->end())
            latest->insert(r.chatId, r.date);
        else if (r.date > *it)
            *it = r.date;
    }
    if (!r.plain)
        return;
    ++messageRows.plain;
    linkMessage(r.rowid, data.messages.valueOrInsert(r.rowid, fill), r.chatId);
}

void MsgTableLoader::loadRows(const Sqlite3Sql& sql, const Reading& reading, QHash<qint64, qint64>* latest)
{
    Sqlite3Cursor c = db.queryThrow(sql);
    const MsgMessageColumns cols(c);
    const int chatCol = c.columnIndex(QStringLiteral("chat_id"));
    while (c.moveNext()) {
        const Row r = readRow(c, cols, chatCol, latest != nullptr);
        takeRow(r, latest, [&] {
            _MsgMessage* m = data.newMessage();
            fillMessage(c, cols, reading, *m, r.rowid);
            return m;
        });
    }
}

void MsgTableLoader::loadRowsSplit(const MsgTableLoaderSplit& split, const QString& sql,
    const Reading& reading, QHash<qint64, qint64>* latest)
{
    RowQueue queue;
    __MsgData made; // the records of the second run, made on its thread
    // The second connection is held as this one is, and stops on the same task's cancel.
    std::thread reader([&, path = db.dbPath(), second = split.second(sql), foreign = db.isForeign(),
                           task = TaskCancel::ofThisThread()] {
        const TaskCancel::Scope scope(task);
        readRun(path, second, reading, made, queue, foreign);
    });
    // The reader is stopped and joined on every way out; its records go to the model, whose links
    // may point at them.
    const auto joined = qScopeGuard([&] {
        queue.stop = true;
        reader.join();
        data.adoptMessageStorage(made);
    });
    loadRows(split.first(sql), reading, latest);
    std::vector<Row> rows;
    while (queue.pop(rows))
        for (const Row& r : rows)
            takeRow(r, latest, [&r] { return r.made; });
    if (const std::exception_ptr error = queue.error()) {
        // A second connection that could not even start (the file no longer under its name, no
        // descriptor left) leaves its rows to this one.
        if (!queue.started) {
            loadRows(split.second(sql), reading, latest);
            return;
        }
        std::rethrow_exception(error);
    }
}

void MsgTableLoader::readRun(const QString& path, const Sqlite3Sql& sql, const Reading& reading,
    __MsgData& made, RowQueue& queue, bool foreign)
{
    std::vector<Row> rows;
    std::exception_ptr error;
    try {
        Sqlite3DB own;
        own.setForeign(foreign);
        own.openThrow(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX); // used by this thread alone
        Sqlite3Cursor c = own.queryThrow(sql);
        queue.started = true;
        const MsgMessageColumns cols(c);
        const int chatCol = c.columnIndex(QStringLiteral("chat_id"));
        while (!queue.stop && c.moveNext()) {
            Row r = readRow(c, cols, chatCol, true);
            if (r.plain) {
                r.made = made.newMessage();
                fillMessage(c, cols, reading, *r.made, r.rowid);
            }
            rows.push_back(r);
            if (rows.size() == kChunkRows)
                queue.push(std::exchange(rows, {}));
        }
    } catch (...) {
        error = std::current_exception();
    }
    // The rows read before a failure go into the model, as a single run would have put them.
    queue.push(std::move(rows));
    queue.finish(error);
}

void MsgTableLoader::setChatLastDates(const QHash<qint64, qint64>& latest)
{
    for (auto it = latest.cbegin(); it != latest.cend(); ++it)
        if (_MsgChat* ch = data.chats.value(it.key()))
            ch->_last = MsgMessageColumns::secondsFromEither(it.value());
}

void MsgTableLoader::linkMessage(qint64 rowid, _MsgMessage* m, qint64 chatId)
{
    if (_MsgHandle* h = data.handles.value(m->handle_id)) {
        m->_sender = h;
        if (m->country.isEmpty())
            m->country = h->country;
    }
    if (m->other_handle > 0)
        if (_MsgHandle* h = data.handles.value(m->other_handle))
            m->_other_handle = h;
    if (_MsgChat* ch = data.chats.value(chatId)) {
        m->_chat = ch;
        ch->_messages.insert(data.messageKey(rowid), m);
    }
}

void MsgTableLoader::loadAttachments(
    qint64 chat, const std::function<void(_MsgAttachment&, bool created)>& each)
{
    // Without indexes the join to the chats (a scan of the table for every attachment) is left out:
    // the messages the model took are the ones joined to a chat.
    const bool joined = !withoutIndexes || chat > 0;
    const QString columns
        = db.columnsOf(QStringLiteral("attachment"), msgAttachmentColumns(), QStringLiteral("a"));
    Sqlite3Sql sql(joined
            ? QStringLiteral(
                "select ma.message_id, ma.attachment_id, cm.chat_id, %1 from message_attachment_join "
                "as ma inner join attachment as a on ma.attachment_id=a.rowid inner join "
                "chat_message_join as cm on ma.message_id=cm.message_id")
                  .arg(columns)
            : QStringLiteral(
                "select ma.message_id, ma.attachment_id, %1 from message_attachment_join as ma not "
                "indexed inner join attachment as a not indexed on ma.attachment_id=a.rowid")
                  .arg(columns));
    if (chat > 0)
        sql.appendSql(QStringLiteral(" and cm.chat_id=%1").arg(chat));
    Sqlite3Cursor c = db.queryThrow(sql);
    while (c.moveNext()) {
        if (!joined && !data.messages.contains(c.getInt64("message_id")))
            continue;
        const qint64 aid = c.getInt64("attachment_id");
        _MsgAttachment* a = data.attachments.value(aid);
        const bool created = !a;
        if (created) {
            a = new _MsgAttachment;
            fillMsgAttachment(*a, c);
            data.attachments.insert(aid, a);
        }
        each(*a, created);
        if (_MsgMessage* m = data.messages.value(c.getInt64("message_id")))
            m->_attachments.insert(QString::number(aid), a);
    }
}
