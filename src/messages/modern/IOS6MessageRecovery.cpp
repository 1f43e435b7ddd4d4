#include "messages/modern/IOS6MessageRecovery.h"

#include "app/IProgressSink.h"
#include "app/ScopedEdit.h"
#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/MessageCarveLayouts.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"

namespace
{

constexpr int kMinMessageValues = 38;
constexpr int kServiceColumn = 11; // in the 78-column layout

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

// The hashes of the bytes of every live guid, read through a connection of its own; usable is
// false where they cannot stand for the lookup's test.
IOS6MessageRecovery::LiveGuidHashes readLiveGuidHashes(Sqlite3DB& db)
{
    IOS6MessageRecovery::LiveGuidHashes out;
    // The lookup compares the UTF-8 bytes bound with the bytes stored; in a database of another
    // text encoding the hashes would not stand for that test, so every candidate is looked up.
    if (!db.keepsUtf8Text())
        return out;
    Sqlite3StmtCache stmts(db);
    Sqlite3Stmt& guids = stmts.prepared(QStringLiteral("select guid from message"));
    while (guids.stepThrow()) {
        // Only a text can equal the text bound; NULLs and blobs never match.
        if (sqlite3_column_type(guids.handle(), 0) != SQLITE_TEXT)
            continue;
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(guids.handle(), 0));
        out.hashes.insert(qHash(QByteArrayView(p, sqlite3_column_bytes(guids.handle(), 0))));
    }
    out.usable = true;
    return out;
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
    try {
        recover();
    } catch (const std::runtime_error& e) {
        throw m_walk.sourceError(e);
    }
}

void IOS6MessageRecovery::recover()
{
    m_walk.open();
    // The live guids are read on a thread of their own while the store is readied and the pages
    // are listed (and the first pages carved: until then candidates are looked up one by one).
    m_liveGuidsRead = std::async(std::launch::async, [this, task = TaskCancel::ofThisThread()] {
        const TaskCancel::Scope scope(task);
        return readLiveGuidHashes(*m_walk.openReader());
    });
    ScopedEdit<MessageRecycleDb> edit(m_store);
    m_storeStmts = std::make_unique<Sqlite3StmtCache>(m_store);
    // Tens of thousands of rows go into one transaction: a page cache that holds them keeps SQLite
    // from writing pages out and reading them back before the commit.
    QString err;
    const qint64 cacheSize = m_storeStmts->firstInt64(Sqlite3Sql("PRAGMA cache_size"));
    m_store.exec(QStringLiteral("PRAGMA cache_size=-65536"), err);
    m_storeIndex.load(*m_storeStmts);
    const TableShape table = readTableShape();
    QList<_MsgMessage> freeCells;
    m_walk.listFreePages([&](const _SqliteFileRowData& row) {
        _MsgMessage m;
        if (wholeCellMessage(row, table, &m) && m.item_type == 0)
            freeCells.append(m);
    });
    QSet<int> liveWidths;
    const bool listed = listTablePages(table, &liveWidths);
    for (const _MsgMessage& m : std::as_const(freeCells))
        file(m, false);
    if (listed)
        carveListedPages(carveLayouts(table, liveWidths));
    // A table whose root and leaves are all lost, in a file whose free pages give no message
    // either, has nothing left to read.
    if (m_leavesLost && m_given == 0 && !m_walk.cancelled())
        throw std::runtime_error(
            QStringLiteral("The message table of %1 is damaged.").arg(m_walk.source()).toStdString());
    m_storeStmts.reset();
    m_liveStmts.reset();
    edit.commit();
    m_store.exec(QStringLiteral("PRAGMA cache_size=%1").arg(cacheSize), err);
}

bool IOS6MessageRecovery::listTablePages(const TableShape& table, QSet<int>* liveWidths)
{
    // Every page of the live table is carved, or, where its root is lost, the leaves no other table
    // holds: their cells are then the live messages (and the widths live records have). Where there
    // are none, the free pages listed already are carved alone.
    m_rootLost = m_walk.tableRootLost(QStringLiteral("message"));
    if (!m_rootLost) {
        if (!m_walk.listTablePages(QStringLiteral("message")))
            return false;
        *liveWidths = m_walk.tableRecordWidths();
        return true;
    }
    m_leavesLost
        = !m_walk.listOrphanTableLeaves(QStringLiteral("message"), [&](const _SqliteFileRowData& row) {
              liveWidths->insert(int(row.values.size()));
              _MsgMessage m;
              if (wholeCellMessage(row, table, &m))
                  m_orphanLiveGuids.insert(m.guid);
          });
    return true;
}

IOS6MessageRecovery::TableShape IOS6MessageRecovery::readTableShape()
{
    TableShape t;
    t.cols = m_walk.tableColumns(QStringLiteral("message"));
    t.order = messageColumnOrder(t.cols);
    t.defaults = m_walk.tableDefaults(QStringLiteral("message"));
    return t;
}

bool IOS6MessageRecovery::wholeCellMessage(
    const _SqliteFileRowData& cell, const TableShape& table, _MsgMessage* m) const
{
    // Whole cells are records of the file's own table: read in its column order, the columns a
    // record written before they were added as their defaults.
    _SqliteFileRowData row = cell;
    for (qsizetype i = row.values.size(); i < table.defaults.size(); ++i)
        row.values.append(table.defaults.at(i));
    return m_db.recoverFetchMessage(toMessageLayoutOrder(row, table.order), m);
}

void IOS6MessageRecovery::carveListedPages(const QList<Layout>& layouts)
{
    // Pages are carved and their live rows dropped on a worker thread while this one files what
    // the pages before gave, in page order: the store sees the same rows in the same order.
    m_walk.carvePagesAhead<QList<_MsgMessage>>(
        [&](const _SqliteBtreePage& page) { return deletedOnPage(page, layouts); },
        [&](QList<_MsgMessage>& found) {
            for (const _MsgMessage& m : std::as_const(found)) {
                if (m_walk.cancelled())
                    return false;
                fileDeleted(m, true);
            }
            return true;
        });
}

QList<IOS6MessageRecovery::Layout> IOS6MessageRecovery::carveLayouts(
    const TableShape& table, const QSet<int>& liveWidths)
{
    QList<Layout> layouts;
    for (const QList<_SqliteCol>& cols : messageCarveLayouts()) {
        layouts.append({ messageCarveShape(cols), {} });
        layouts.last().shape.defaults = messageLayoutDefaults(cols, table.cols, table.defaults);
    }
    // Records keep the shape they were written with, and the device's own table may be neither.
    if (isOtherMessageLayout(table.cols)) {
        layouts.append({ messageCarveShape(table.cols), table.order });
        layouts.last().shape.defaults = table.defaults;
    }
    // The service alone turns most carved rows down (records of the other layout decode to
    // nonsense there): it is tested before the rest of the row is decoded, as the row test has it.
    for (Layout& layout : layouts) {
        layout.shape.keyColumn
            = layout.order.isEmpty() ? kServiceColumn : int(layout.order.indexOf(kServiceColumn));
        layout.shape.keyTest = [](const QVariant& v) { return isMessageService(v.toString()); };
    }
    allowNarrowerRecords(layouts, liveWidths);
    return layouts;
}

void IOS6MessageRecovery::allowNarrowerRecords(QList<Layout>& layouts, const QSet<int>& liveWidths)
{
    // A record written before the table gained columns holds a leading part of a layout, as wide as
    // the row test needs at least. The widths live records have are tried wherever they fit, the
    // others where a record's header declares them. A leading part several layouts share is
    // carved with one of them only: the one as wide as it, else the first.
    for (int i = 0; i < layouts.size(); ++i) {
        const QList<_SqliteCol>& cols = layouts[i].shape.cols;
        for (int w = qMax(kMinMessageValues, layouts[i].shape.keyColumn + 1); w < cols.size(); ++w) {
            bool taken = false;
            for (int j = 0; j < layouts.size() && !taken; ++j) {
                const QList<_SqliteCol>& other = layouts[j].shape.cols;
                taken = j != i && (other.size() == w || j < i) && sameLeadingColumns(other, cols, w);
            }
            if (!taken)
                layouts[i].shape.allowNarrower(
                    w, liveWidths.contains(w) ? _SqliteCarveShape::Always : _SqliteCarveShape::WhereDeclared);
        }
    }
}

QList<_MsgMessage> IOS6MessageRecovery::carvePage(
    const _SqliteBtreePage& page, const QList<Layout>& layouts) const
{
    QList<_MsgMessage> found;
    for (const Layout& layout : layouts) {
        const QList<int>& order = layout.order;
        Sqlite3File::RowFilter test = &IOS6MessageRecovery::checkMessageRowValid;
        if (!order.isEmpty())
            test = [&order](const _SqliteFileRowData& r) {
                return checkMessageRowValid(toMessageLayoutOrder(r, order));
            };
        for (const _SqliteFileRowData& row : m_walk.carve(page, layout.shape, test)) {
            _MsgMessage m;
            if (m_db.recoverFetchMessage(toMessageLayoutOrder(row, order), &m) && m.item_type == 0)
                found.append(m);
        }
    }
    return found;
}

QList<_MsgMessage> IOS6MessageRecovery::deletedOnPage(
    const _SqliteBtreePage& page, const QList<Layout>& layouts)
{
    QList<_MsgMessage> found = carvePage(page, layouts);
    found.removeIf([this](const _MsgMessage& m) { return isLive(m.guid); });
    return found;
}

bool IOS6MessageRecovery::isLive(const QString& guid)
{
    if (m_rootLost && !m_leavesLost)
        return m_orphanLiveGuids.contains(guid);
    if (!m_rootLost)
        return isInLiveTable(guid);
    // With no page of the table left, its guid index may still tell the stale copies of live
    // messages; where it cannot be read either, no message is live.
    if (m_guidIndexLost)
        return false;
    try {
        return isInLiveTable(guid);
    } catch (const std::runtime_error&) {
        m_guidIndexLost = true;
        return false;
    }
}

bool IOS6MessageRecovery::isInLiveTable(const QString& guid)
{
    if (!m_liveStmts) {
        // One read transaction for the whole run, not one (with its locks) per candidate.
        QString err;
        m_walk.copy().exec(QStringLiteral("BEGIN"), err);
        m_liveStmts = std::make_unique<Sqlite3StmtCache>(m_walk.copy());
    }
    takeLiveGuidsIfRead();
    // Nearly every candidate is a deleted message: one whose guid hashes like no live guid's is
    // not live, without a lookup. A hash that matches is only a hint.
    const QByteArray utf8 = guid.toUtf8();
    if (m_liveGuids.usable && !m_liveGuids.hashes.contains(qHash(QByteArrayView(utf8))))
        return false;
    Sqlite3Stmt& live = m_liveStmts->prepared(QStringLiteral("select rowid from message where guid=?"));
    live.bindTextThrow(1, utf8);
    return m_liveStmts->firstInt64(live) != 0;
}

void IOS6MessageRecovery::takeLiveGuidsIfRead()
{
    // The carving does not wait for the live guids: until they are read, every candidate is
    // looked up.
    if (!m_liveGuidsRead.valid()
        || m_liveGuidsRead.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    try {
        m_liveGuids = m_liveGuidsRead.get();
    } catch (const std::exception&) {
        // A table that cannot be read so fails the lookups, with the lookup's error.
        m_liveGuids = LiveGuidHashes();
    }
}

QString IOS6MessageRecovery::storedHandle(qint64 handleId)
{
    // The store's handles do not change during a message run; each is looked up once.
    const auto it = m_storedHandles.constFind(handleId);
    if (it != m_storedHandles.constEnd())
        return *it;
    return *m_storedHandles.insert(handleId, m_store.handleBySrcRowId(handleId).id);
}

void IOS6MessageRecovery::file(const _MsgMessage& m, bool carved)
{
    // A message whose guid is still in the live table is a stale copy left by a page move, not a
    // deleted message (whole cells of free pages are such copies more often than not).
    if (!isLive(m.guid))
        fileDeleted(m, carved);
}

void IOS6MessageRecovery::fileDeleted(const _MsgMessage& m, bool carved)
{
    ++m_given;
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
        chatId = handle = storedHandle(m.handle_id);
    }
    m_store.fileRecovered(&m, chatId, handle, srcRowid, m_storeStmts.get(), &m_storeIndex);
}

bool IOS6MessageRecovery::checkMessageRowValid(const _SqliteFileRowData& row)
{
    return row.values.size() >= kMinMessageValues
        && isMessageService(row.values.at(kServiceColumn).toString());
}
