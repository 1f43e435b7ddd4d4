#include "messages/ui/ExportMessagesDb.h"

#include "app/KeptFileName.h"
#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/StoreFileRemoval.h"
#include "app/sqlite/Sqlite3Stmt.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgPath.h"

#include <QDebug>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <exception>
#include <sys/stat.h>

namespace
{
// Chats at or below this rowid are the model's placeholders for messages without a known chat.
constexpr qint64 kUnknownChatRowid = -2047483647;

QString handleKey(const _MsgHandle& h)
{
    return h.id + QChar(0x1f) + h.service;
}

// Column lists are compared by address first: the names are literals, the same each time.
bool sameColumns(const MsgColumnBinder::Names& a, const MsgColumnBinder::Names& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && std::strcmp(a[i], b[i]) != 0)
            return false;
    return true;
}
} // namespace

ExportMessagesDb::ExportMessagesDb(const QDir& folder, const _CountryInfo& country)
    : msgDb(folder, country, true)
    , relayDir(folder.absoluteFilePath(QStringLiteral("file-relay")))
{
}

ExportMessagesDb::~ExportMessagesDb()
{
    dropStatements(); // before the connection goes
}

void ExportMessagesDb::init()
{
    // What the run makes is taken back by abandon(): the store's file when it holds no message, and
    // the folders made for it that then hold nothing.
    const QFileInfo store(msgDb.iosDbPath());
    m_madeStore = !store.exists() && !store.isSymLink();
    QString why;
    if (!m_made.makeDestination(relayDir.absolutePath(), &why))
        throw std::runtime_error(why.toStdString());
    m_relay = m_made.destination();
    m_standing = std::make_unique<MsgStandingCopy>(m_relay, relayDir,
        [this](const std::function<void(const QString&)>& each) { msgDb.eachAttachmentFilename(each); });
    m_way.clear();
    m_wayNames.clear();
    m_wayLocal.clear();
    m_storeFolder = wayTo(relayDir.relativeFilePath(store.absolutePath()).split(QLatin1Char('/')), &why);
    const HeldFolder& folder = m_storeFolder;
    if (!folder.isValid())
        throw std::runtime_error(why.toStdString());
    // The store itself is opened by its path: none goes into a folder of its way that was swapped.
    QString moved;
    if (!folder.inPlace(&moved))
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: the folder %2 was moved or replaced while it was written into")
                .arg(store.filePath(), moved)
                .toStdString());
    try {
        begin();
    } catch (const std::exception& e) {
        rethrowNamed(e);
    }
}

void ExportMessagesDb::rethrowNamed(const std::exception& e)
{
    const QString path = msgDb.iosDbPath();
    if (QString::fromUtf8(e.what()).contains(path))
        throw;
    throw std::runtime_error(
        QStringLiteral("Cannot write %1. %2").arg(path, msgDb.failureReason(e)).toStdString());
}

void ExportMessagesDb::begin()
{
    msgDb.beginEdit();
    // One transaction holds the whole run: a page cache that keeps its index pages in memory spares
    // reading them back from the file for every message of a big save.
    QString err;
    msgDb.exec(QStringLiteral("PRAGMA cache_size=-131072"), err);
    m_itemType = msgDb.isItemTypeEnabled();
    m_logicHash = msgDb.tableSqlHas(QStringLiteral("message"), QStringLiteral("logic_hash"));
    m_joinDate = msgDb.tableSqlHas(QStringLiteral("chat_message_join"), QStringLiteral("message_date"));
    m_startedEmpty = storeHoldsNoMessage();
    m_writtenHashes.clear();
    m_writtenGuids.clear();
    m_chatObjects.clear();
    m_handleObjects.clear();
    m_joins.clear();
}

bool ExportMessagesDb::storeHoldsNoMessage()
{
    // Asked inside the run's transaction: no other writer can add a message before it ends. A
    // store that cannot answer takes the ordinary lookups, which report what is wrong with it.
    try {
        return run(Sqlite3Sql("select not exists(select 1 from message)")) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

void ExportMessagesDb::uninit()
{
    try {
        flushJoins();
        for (auto it = m_lastDates.cbegin(); it != m_lastDates.cend(); ++it)
            msgDb.updateChatLastDate21(it.key(), it.value());
        dropStatements();
        msgDb.endEdit(true);
    } catch (const std::exception& e) {
        rethrowNamed(e);
    }
    msgDb.close();
}

void ExportMessagesDb::abandon()
{
    dropStatements();
    msgDb.close();
    if (m_madeStore)
        removeStoreWithoutMessages();
    m_copies.takeBack();
    m_made.removeEmpty();
}

// Under an exclusive lock, so that a store another program began to write meanwhile is never taken;
// an empty file (a disk that took no byte of the store) holds nothing to lose. From its held folder,
// with the files SQLite keeps beside it: a folder on the way swapped meanwhile loses nothing.
void ExportMessagesDb::removeStoreWithoutMessages()
{
    const HeldFolder& folder = m_storeFolder;
    const QString name = QFileInfo(msgDb.iosDbPath()).fileName();
    struct stat st;
    if (!folder.lstat(name, &st) || !S_ISREG(st.st_mode))
        return;
    try {
        if (st.st_size == 0) {
            StoreFileRemoval::removeOwn(folder, name);
            return;
        }
        Sqlite3DB db;
        db.openHeldThrow(folder, name, SQLITE_OPEN_READWRITE);
        db.executeThrow(Sqlite3Sql("begin exclusive"));
        if (db.tableExists(QStringLiteral("message"))
            && db.queryThrow(Sqlite3Sql("select 1 from message")).moveNext())
            return;
        StoreFileRemoval::removeOwn(folder, name);
    } catch (const std::exception&) {
        // Gone already, or busy: left as it is.
    }
}

void ExportMessagesDb::dropStatements()
{
    m_stmts.clear();
    m_inserts.clear();
    m_insertHandle = nullptr;
}

qint64 ExportMessagesDb::run(const Sqlite3Sql& sql)
{
    msgDb.openCheck();
    return m_stmts.firstInt64(sql);
}

qint64 ExportMessagesDb::chatRowid(const _MsgChat& chat)
{
    // Many messages share one chat object: its rowid is found by its address before its guid.
    qint64& known = m_chatObjects[&chat];
    if (known == 0)
        known = chatRowidByGuid(chat);
    return known;
}

qint64 ExportMessagesDb::chatRowidByGuid(const _MsgChat& chat)
{
    qint64& id = m_chats[chat.guid];
    if (id == 0)
        id = msgDb.findChat(chat.guid);
    if (id == 0)
        id = msgDb.insertChatAndHandles(chat);
    return id;
}

qint64 ExportMessagesDb::handleRowid(qint64 chatId, const _MsgHandle* handle)
{
    if (!handle)
        return 0;
    // The same for handles, once joined to the chat.
    qint64& known = m_handleObjects[{ chatId, handle }];
    if (known == 0)
        known = joinedHandleRowid(chatId, *handle);
    return known;
}

qint64 ExportMessagesDb::joinedHandleRowid(qint64 chatId, const _MsgHandle& handle)
{
    qint64& id = m_handles[handleKey(handle)];
    if (id == 0) {
        id = msgDb.findHandle(handle);
        if (id == 0) {
            id = msgDb.insertHandle(handle);
            msgDb.joinChatHandle(chatId, id);
            m_chatHandles.insert({ chatId, id });
        }
    }
    if (!m_chatHandles.contains({ chatId, id })) {
        if (!msgDb.isHandleBelong2Chat(chatId, id))
            msgDb.joinChatHandle(chatId, id);
        m_chatHandles.insert({ chatId, id });
    }
    return id;
}

qint64 ExportMessagesDb::existingMessage(const _MsgMessage& message, const QString& hash)
{
    // The logical hash first, then the guid: one statement for both lookups, each an index probe
    // (a union with an order would build a temporary table for every message).
    if (m_logicHash)
        return run(Sqlite3Sql("select coalesce((select rowid from message where logic_hash=?), (select "
                              "rowid from message where guid=?))")
                       .addTextParam(hash)
                       .addTextParam(message.guid));
    return run(Sqlite3Sql("select rowid from message where guid=?").addTextParam(message.guid));
}

ExportMessagesDb::RunKeys ExportMessagesDb::runKeys(const _MsgMessage& message, const QString& hash) const
{
    constexpr size_t kSeed = 0x5157e11a;
    return { m_logicHash ? qHash(hash.toUtf8(), kSeed) : 0, qHash(message.guid.toUtf8(), kSeed) };
}

bool ExportMessagesDb::mayBeWritten(const RunKeys& keys) const
{
    return (m_logicHash && m_writtenHashes.contains(keys.hash)) || m_writtenGuids.contains(keys.guid);
}

void ExportMessagesDb::noteWritten(const RunKeys& keys)
{
    if (!m_startedEmpty)
        return;
    if (m_logicHash)
        m_writtenHashes.insert(keys.hash);
    m_writtenGuids.insert(keys.guid);
}

ExportMessagesDb::InsertStatement& ExportMessagesDb::insertStatement(const ColumnNames& names)
{
    if (m_insertHandle != msgDb.handle) {
        m_inserts.clear();
        m_insertHandle = msgDb.handle;
    }
    // Messages in a row mostly write the same columns: the statement used last is tried first.
    if (m_lastInsert < m_inserts.size() && sameColumns(m_inserts[m_lastInsert].names, names))
        return m_inserts[m_lastInsert];
    for (size_t i = 0; i < m_inserts.size(); ++i)
        if (sameColumns(m_inserts[i].names, names)) {
            m_lastInsert = i;
            return m_inserts[i];
        }
    QStringList quoted;
    for (const char* name : names)
        quoted << Sqlite3Row::quoteName(QLatin1String(name));
    const QByteArray text
        = QStringLiteral("insert into message(%1) values(%2)")
              .arg(quoted.join(QLatin1Char(',')), QStringList(quoted.size(), QStringLiteral("?")).join(','))
              .toUtf8();
    auto stmt = std::make_unique<Sqlite3Stmt>(msgDb.handle, text.constData(), int(text.size()));
    m_inserts.push_back({ names, {}, std::move(stmt) });
    m_lastInsert = m_inserts.size() - 1;
    return m_inserts.back();
}

qint64 ExportMessagesDb::insertMessage(
    const _MsgMessage& message, qint64 senderId, qint64 otherId, const QString& hash)
{
    // The insert depends only on the columns written: prepared once per column list and bound
    // straight from the typed values.
    m_row.clear();
    msgDb.messageColumns(message, senderId, otherId, hash, m_row);
    msgDb.openCheck();
    InsertStatement& insert = insertStatement(m_row.names());
    Sqlite3Stmt& stmt = *insert.stmt;
    stmt.reset();
    try {
        m_row.bindTo(stmt, insert.bound);
        stmt.stepThrow();
    } catch (...) {
        stmt.clearBindings();
        insert.bound.forget();
        throw;
    }
    stmt.reset(); // the bindings stay for the next message
    return msgDb.lastInsertId();
}

void ExportMessagesDb::write(_MsgMessage& message)
{
    try {
        writeMessage(message);
    } catch (const std::exception& e) {
        rethrowNamed(e);
    }
}

void ExportMessagesDb::writeMessage(_MsgMessage& message)
{
    if (message.item_type != 0 && !m_itemType)
        return;
    const _MsgChat* chat = message._chat;
    if (!chat) {
        qDebug() << "IOS6RestoreMessagesThread skip message with empty chat.";
        return;
    }
    if (chat->rowid <= kUnknownChatRowid) {
        qDebug() << "IOS6RestoreMessagesThread skip message with unknown chat.";
        return;
    }
    const qint64 chatId = chatRowid(*chat);
    const qint64 senderId = handleRowid(chatId, message._sender);
    const QString hash = message.logicalHash();
    const RunKeys keys = m_startedEmpty ? runKeys(message, hash) : RunKeys();
    qint64 messageId = m_startedEmpty && !mayBeWritten(keys) ? 0 : existingMessage(message, hash);
    if (messageId == 0) {
        const qint64 otherId = handleRowid(chatId, message._other_handle);
        messageId = insertMessage(message, senderId, otherId, hash);
        noteWritten(keys);
        joinChatMessage(chatId, messageId, message.date);
        auto last = m_lastDates.find(chatId);
        if (last == m_lastDates.end())
            m_lastDates.insert(chatId, message.date);
        else
            *last = qMax(*last, message.date);
    }
    if (chat->isGroup() && message._sender && m_lastHandles.value(chatId) != message._sender->id) {
        msgDb.updateChatLastHandle(chatId, message._sender->id);
        m_lastHandles.insert(chatId, message._sender->id);
    }
    writeAttachments(message, messageId);
}

void ExportMessagesDb::joinChatMessage(qint64 chatId, qint64 messageId, int date)
{
    m_joins.push_back({ chatId, messageId, date });
    if (m_joins.size() == kJoinBatch)
        flushJoins();
}

void ExportMessagesDb::flushJoins()
{
    // A full batch goes in one statement; what is left at the end, row by row. Either way the rows
    // go in the order met, and so get the same rowids.
    const size_t rows = m_joins.size() == kJoinBatch ? kJoinBatch : 1;
    const QString one = m_joinDate ? QStringLiteral("(?,?,?)") : QStringLiteral("(?,?)");
    const QString sql = QStringLiteral("replace into chat_message_join(%1) values ")
                            .arg(m_joinDate ? "chat_id,message_id,message_date" : "chat_id,message_id")
        + QStringList(qsizetype(rows), one).join(QLatin1Char(','));
    msgDb.openCheck();
    for (size_t first = 0; first < m_joins.size(); first += rows) {
        Sqlite3Stmt& stmt = m_stmts.prepared(sql);
        int param = 0;
        for (size_t i = first; i < first + rows; ++i) {
            stmt.bindInt64Throw(++param, m_joins[i].chatId);
            stmt.bindInt64Throw(++param, m_joins[i].messageId);
            if (m_joinDate)
                stmt.bindInt64Throw(++param, qint64(m_joins[i].date) * 1000000000LL);
        }
        m_stmts.execute(stmt);
    }
    m_joins.clear();
}

void ExportMessagesDb::writeAttachments(const _MsgMessage& message, qint64 messageId)
{
    if (message._attachments.isEmpty())
        return; // most messages: no sorted list to build
    for (const _MsgAttachment* a : message.attachments()) {
        copyAttachmentFileOf(*a);
        qint64 attId = run(Sqlite3Sql("select rowid from attachment where guid=?").addTextParam(a->guid));
        if (attId == 0)
            attId = msgDb.insertAttachment(*a);
        run(Sqlite3Sql("replace into message_attachment_join(message_id,attachment_id) values(?,?)")
                .addInt64Param(messageId)
                .addInt64Param(attId));
    }
}

void ExportMessagesDb::copyAttachmentFileOf(const _MsgAttachment& a)
{
    if (a._path.isEmpty() || !QFileInfo(a._path).isFile())
        return;
    // The device path decides the place in the store; one that would lead out of it gets no copy.
    QStringList parts = msgRelayParts(relayDir, a.filename);
    if (parts.isEmpty()) {
        if (!a.filename.isEmpty())
            m_failedCopies << a._path;
        return;
    }
    const QString phoneName = parts.takeLast();
    QString why;
    const HeldFolder folder = wayTo(parts, &why);
    // The phone's own name where the disk takes it, as the readers look for it.
    QString name = KeptFileName::forWrite(folder, phoneName);
    const QString wayPath = QDir::cleanPath(relayDir.absolutePath()) + QLatin1Char('/')
        + (m_wayLocal + QStringList { QString() }).join(QLatin1Char('/'));
    if (folder.isValid() && folder.has(name)) {
        // A copy from before, or the file itself, is kept; any other file there is written over.
        const auto verdict = m_standing->settle(folder, name, wayPath + name, a._path, a.filename, &why);
        if (verdict == MsgStandingCopy::Verdict::Kept)
            return;
        if (verdict == MsgStandingCopy::Verdict::Refused) {
            m_failedCopies << a._path + QStringLiteral(": ") + why;
            return;
        }
        // Another record's file by another case of the name stays: the copy is set aside, a name
        // that stands for this record alone.
        if (verdict == MsgStandingCopy::Verdict::Aside) {
            name = KeptFileName::aside(phoneName);
            if (folder.has(name) && MsgStandingCopy::sameBytes(folder, name, a._path))
                return;
        }
    }
    // The copy's temporary is gone by the end of the statement, before its folders are taken back.
    if (folder.isValid() && OutputFile(folder, name).copyFile(a._path, &why)) {
        m_copies.note(folder, name);
        return;
    }
    m_failedCopies << a._path + QStringLiteral(": ") + why;
    takeBackWay();
}

HeldFolder ExportMessagesDb::wayTo(const QStringList& parts, QString* why)
{
    qsizetype same = 0;
    while (same < parts.size() && same < m_wayNames.size() && parts[same] == m_wayNames[same])
        ++same;
    m_wayNames.resize(same);
    m_wayLocal.resize(same);
    m_way.resize(size_t(same));
    HeldFolder at = same > 0 ? m_way.back() : m_relay;
    m_wayMadeFrom = m_way.size();
    for (qsizetype i = same; i < parts.size(); ++i) {
        bool made = false;
        const QString local = KeptFileName::forWrite(at, parts[i]);
        const HeldFolder next = m_made.make(at, local, &made);
        if (!made && m_wayMadeFrom == m_way.size())
            ++m_wayMadeFrom; // only those below the last that stood are new
        if (!next.isValid()) {
            *why = MadeFolders::failureText(at.filePath(local), errno);
            return HeldFolder();
        }
        at = next;
        m_way.push_back(at);
        m_wayNames << parts[i];
        m_wayLocal << local;
    }
    return at;
}

void ExportMessagesDb::takeBackWay()
{
    while (m_way.size() > m_wayMadeFrom) {
        const HeldFolder& parent = m_way.size() > 1 ? m_way[m_way.size() - 2] : m_relay;
        if (!parent.removeIfSame(m_wayLocal.last(), m_way.back().device(), m_way.back().inode()))
            break; // it holds something else: it stays, with those above it
        m_way.pop_back();
        m_wayNames.removeLast();
        m_wayLocal.removeLast();
    }
    m_wayMadeFrom = m_way.size();
}
