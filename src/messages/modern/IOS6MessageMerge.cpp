#include "messages/modern/IOS6MessageMerge.h"

#include "app/IProgressSink.h"
#include "app/PrivateCopyNames.h"
#include "app/ScopedEdit.h"
#include "app/sqlite/SqliteTriggersOff.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/IOS6RowReferences.h"
#include "messages/modern/IOS6WriteTally.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <stdexcept>

namespace
{

constexpr qint64 kUnknownChatLimit = -2047483647LL;
constexpr int kRowidWindow = 20;
constexpr int kDateWindow = 120;

// The row's value of a column named without regard to case (the device schema says "ROWID").
QVariant rowValue(const Sqlite3Row& row, const QString& name)
{
    for (const QString& c : row.columns()) {
        if (c.compare(name, Qt::CaseInsensitive) == 0)
            return row.val(c);
    }
    return QVariant();
}

int dateSeconds(qint64 stored)
{
    return int(stored > 100000000000000000LL ? stored / 1000000000LL : stored);
}

// A MediaDomain path from "Library/" on, or empty when there is none or it would leave the
// domain ("..", empty or "." parts).
QString mediaRelativePath(const QString& filename)
{
    const int at = filename.indexOf(QLatin1String("Library/"));
    if (at < 0)
        return QString();
    const QString rel = filename.mid(at);
    for (const QString& part : rel.split('/')) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QString();
    }
    return rel;
}

// A chosen message as the phone's own triggers keep a message joined to its chat and attachments,
// which do not act on the merge's writes.
_MsgMessage asJoined(const _MsgMessage& m)
{
    _MsgMessage row = m;
    if (!m._attachments.isEmpty())
        row.cache_has_attachments = 1;
    if (row.cache_roomnames.isEmpty())
        row.cache_roomnames = m._chat->room_name;
    return row;
}

// The tables the rebuild writes itself; the others keep their rows.
const QSet<QString>& rewrittenTables()
{
    static const QSet<QString> tables { "message", "chat", "handle", "attachment", "chat_handle_join",
        "chat_message_join", "message_attachment_join" };
    return tables;
}

// The merge refused for what the database holds, named as the user knows it: the backup's file
// for the program's private copy of it, never the merge's work copy (see PrivateCopyNames).
[[noreturn]] void refuse(const QString& text)
{
    throw std::runtime_error(
        PrivateCopyNames::userNames(text, PrivateCopyNames::Texts::DatabaseErrors).toStdString());
}

bool inWindow(const _MsgInsertData& a, const _MsgInsertData& b)
{
    return a.rowid > 0 && b.rowid > 0 && !a.recovered && !b.recovered
        && qAbs(a.rowid - b.rowid) <= kRowidWindow && qAbs(qint64(a.date) - qint64(b.date)) <= kDateWindow;
}

} // namespace

bool compareInsertDataLess(const _MsgInsertData& a, const _MsgInsertData& b)
{
    if (inWindow(a, b) && a.rowid != b.rowid)
        return a.rowid < b.rowid;
    if (!inWindow(a, b) && a.date != b.date)
        return a.date < b.date;
    if (a.existing != b.existing)
        return a.existing;
    return a.index < b.index;
}

void sortInsertData(QList<_MsgInsertData>& list)
{
    for (int i = 0; i < list.size(); ++i)
        list[i].index = i;
    std::stable_sort(list.begin(), list.end(), compareInsertDataLess);
}

IOS6MessageMerge::IOS6MessageMerge(
    const _CountryInfo& country, const QList<_MsgMessage*>& messages, IOS6MessageDb& source)
    : m_country(country)
    , m_messages(messages)
    , m_source(source)
{
}

IOS6MessageMerge::~IOS6MessageMerge() = default;

void IOS6MessageMerge::removeWorkFile()
{
    if (!workPath.isEmpty())
        QFile::remove(workPath);
}

void IOS6MessageMerge::copySourceThrow()
{
    // A fresh, unique name beside the source: two runs never meet, and nothing is overwritten.
    QTemporaryFile name(m_source.iosDbPath() + QStringLiteral(".merge-XXXXXX"));
    if (!name.open())
        throw std::runtime_error(QString("copy database to %1 failed. %2")
                                     .arg(name.fileTemplate(), name.errorString())
                                     .toStdString());
    workPath = name.fileName();
    name.close();
    name.remove();
    PrivateCopyNames::noteWorkCopy(workPath, m_source.iosDbPath());
    // Through SQLite, so changes still in the source's write-ahead log come along.
    m_source.openCheck();
    checkSourceThrow();
    Sqlite3Sql sql("VACUUM INTO ?");
    sql.addTextParam(workPath);
    try {
        m_source.executeThrow(sql);
    } catch (const std::exception& e) {
        const QString why = m_source.failureReason(e);
        QFile::remove(workPath);
        throw std::runtime_error(QString("copy database to %1 failed. %2").arg(workPath, why).toStdString());
    }
}

void IOS6MessageMerge::checkSourceThrow()
{
    // Rows on a page SQLite finds damaged may be left out of the copy without a word.
    QStringList problems;
    try {
        Sqlite3Cursor c = m_source.queryThrow(Sqlite3Sql("pragma quick_check(3)"));
        while (c.moveNext())
            problems << c.getText(0).simplified();
    } catch (const std::exception& e) {
        refuse(QString("Cannot merge the messages into %1: %2")
                   .arg(m_source.iosDbPath(), m_source.failureReason(e)));
    }
    if (problems != QStringList { QStringLiteral("ok") })
        refuse(QString("Cannot merge the messages into %1: SQLite finds the database damaged (%2).")
                   .arg(m_source.iosDbPath(), problems.join(QStringLiteral("; "))));
}

void IOS6MessageMerge::runThrow(IProgressSink* progress)
{
    if (progress)
        progress->updateProgress(
            QCoreApplication::translate("IOS6RestoreMessagesThread", "IDS_MERGING_IOS6_MESSAGES"), 0,
            QString());
    restoredCount = unknownChatCount = 0;
    items.clear();
    notAsWritten.clear();
    copySourceThrow();
    try {
        IOS6MessageDb work(QFileInfo(m_source.iosDbPath()).dir(), m_country, false);
        work.setIOSDbPath(workPath);
        rebuildThrow(work, progress);
        work.close();
    } catch (const std::runtime_error& e) {
        removeWorkFile();
        // A text of the merge's own naming the private copy (rows its tables leave out) names the
        // backup's file; any other goes on as it is.
        const QString text = QString::fromUtf8(e.what());
        if (PrivateCopyNames::userNames(text, PrivateCopyNames::Texts::DatabaseErrors) != text)
            refuse(text);
        throw;
    } catch (...) {
        removeWorkFile();
        throw;
    }
    items.append(
        { QStringLiteral("HomeDomain"), workPath, QStringLiteral("Library/SMS/sms.db"), true, true });
    listAttachmentFiles();
}

void IOS6MessageMerge::rebuildThrow(IOS6MessageDb& work, IProgressSink* progress)
{
    work.openCheck();
    // What the rebuild deletes and inserts is not what the phone's user did (their deletion records
    // would name every message kept), and the columns the triggers keep come with the rows themselves.
    const SqliteTriggersOff triggersOff(work);
    m_references.findThrow(work, rewrittenTables());
    IOS6WriteTally tally;
    work.setWriteTally(&tally);
    const auto untally = qScopeGuard([&work] { work.setWriteTally(nullptr); });
    for (const char* sql : { "delete from attachment", "delete from chat", "delete from handle",
             "delete from message", "delete from message_attachment_join", "delete from chat_message_join",
             "delete from chat_handle_join",
             "update sqlite_sequence set seq=0 where name in ('handle', 'chat', 'message', 'attachment')",
             "vacuum" })
        work.executeThrow(Sqlite3Sql(sql));
    ScopedEdit<IOS6MessageDb> edit(work);
    copyBackThrow(work, tally);
    const QList<Sqlite3Row> oldRows = m_source.tableRows("message");
    QList<_MsgInsertData> order = mergeList(work, oldRows);
    sortInsertData(order);
    for (int i = 0; i < order.size(); ++i) {
        if (progress && progress->isCancelled())
            throw -1;
        if (progress)
            progress->updateProgress(QString(), int(double(i + 1) / double(order.size()) * 99.0), QString());
        if (order[i].existing)
            writeOldRow(work, *order[i].row, tally);
        else
            writeChosen(work, *order[i].message);
    }
    work.executeThrow(Sqlite3Sql("update message set has_dd_results=0"));
    m_references.applyThrow(work);
    tally.checkThrow(work, m_source.iosDbPath());
    edit.commit();
}

void IOS6MessageMerge::copyBackThrow(IOS6MessageDb& work, IOS6WriteTally& tally)
{
    using Kind = IOS6RowReferences::Kind;
    const std::pair<const char*, Kind> tables[] = { { "chat", Kind::Chat }, { "handle", Kind::Handle },
        { "chat_handle_join", Kind::KindCount }, { "attachment", Kind::Attachment } };
    for (const auto& [name, kind] : tables) {
        const QString table = QLatin1String(name);
        for (Sqlite3Row row : m_source.tableRows(table)) {
            if (row.contains("properties"))
                row["properties"] = QVariant();
            work.insertSqlRow(row, table, {});
            if (kind == Kind::KindCount) {
                tally.join(
                    table, rowValue(row, "chat_id").toLongLong(), rowValue(row, "handle_id").toLongLong());
            } else { // kept under its row id
                tally.row(table);
                const qint64 rowid = rowValue(row, "rowid").toLongLong();
                m_references.moved(kind, rowid, rowid);
            }
        }
    }
    Sqlite3Cursor a
        = m_source.queryThrow(Sqlite3Sql("select ma.attachment_id, m.guid from message_attachment_join as ma "
                                         "inner join message as m on ma.message_id=m.rowid"));
    while (a.moveNext())
        m_attachmentsByGuid[a.getText("guid")].append(a.getInt64("attachment_id"));
    Sqlite3Cursor c = m_source.queryThrow(Sqlite3Sql("select cm.chat_id, m.guid from chat_message_join as cm "
                                                     "inner join message as m on cm.message_id=m.rowid"));
    while (c.moveNext())
        m_chatsByGuid[c.getText("guid")].append(c.getInt64("chat_id"));
}

QList<_MsgInsertData> IOS6MessageMerge::mergeList(IOS6MessageDb& work, const QList<Sqlite3Row>& oldRows)
{
    QList<_MsgInsertData> list;
    for (const Sqlite3Row& row : oldRows) {
        _MsgInsertData d;
        d.rowid = rowValue(row, "rowid").toLongLong();
        d.date = dateSeconds(rowValue(row, "date").toLongLong());
        d.row = &row;
        d.existing = true;
        list.append(d);
    }
    for (_MsgMessage* m : m_messages) {
        if (!m->_chat || m->_chat->rowid <= kUnknownChatLimit) {
            qDebug("IOS6RestoreMessagesThread skip message with unknown chat.");
            ++unknownChatCount;
            continue;
        }
        if (m->item_type != 0 && !work.isItemTypeEnabled())
            continue;
        ++restoredCount;
        if (!m->_attachments.isEmpty())
            m_withAttachments.append(m);
        _MsgInsertData d;
        d.rowid = m->_sort_rowid;
        d.date = m->date;
        d.message = m;
        d.recovered = m->_recovered;
        list.append(d);
    }
    if (restoredCount == 0)
        throw std::runtime_error(QCoreApplication::translate(
            "IOS6RestoreMessagesThread", "IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_%1_UNKNOWN_CHAT_MSG")
                                     .arg(unknownChatCount)
                                     .toStdString());
    return list;
}

void IOS6MessageMerge::writeOldRow(IOS6MessageDb& work, const Sqlite3Row& row, IOS6WriteTally& tally)
{
    const QString guid = rowValue(row, "guid").toString();
    qint64 id = work.findMessage(guid);
    if (id == 0) {
        QSet<QString> key;
        for (const QString& c : row.columns()) {
            if (c.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
                key.insert(c);
        }
        id = work.insertSqlRow(row, "message", key);
        tally.row(QStringLiteral("message"));
    }
    m_references.moved(IOS6RowReferences::Message, rowValue(row, "rowid").toLongLong(), id);
    const qint64 date = rowValue(row, "date").toLongLong();
    for (qint64 chat : m_chatsByGuid.value(guid))
        work.joinChatMessage(chat, id, date);
    for (qint64 att : m_attachmentsByGuid.value(guid))
        work.joinMessageAtta(id, att);
}

qint64 IOS6MessageMerge::handleInChat(IOS6MessageDb& work, qint64 chatId, const _MsgHandle* h)
{
    if (!h)
        return 0;
    qint64 id = work.findHandle(*h);
    if (id == 0) {
        id = work.insertHandle(*h);
        work.joinChatHandle(chatId, id);
    } else if (!work.isHandleBelong2Chat(chatId, id)) {
        work.joinChatHandle(chatId, id);
    }
    return id;
}

void IOS6MessageMerge::writeChosen(IOS6MessageDb& work, _MsgMessage& m)
{
    qint64 chatId = work.findChat(m._chat->guid);
    if (chatId == 0)
        chatId = work.insertChatAndHandles(*m._chat);
    const qint64 handleId = handleInChat(work, chatId, m._sender);
    qint64 id = work.findMessage(m.guid);
    if (id == 0) {
        const qint64 otherId = handleInChat(work, chatId, m._other_handle);
        id = work.insertMessage(asJoined(m), handleId, otherId, QString());
        work.joinChatMessage(chatId, id, qint64(m.date) * 1000000000LL);
        work.updateChatLastDate21(chatId, m.date);
    }
    if (m._chat->isGroup() && m._sender)
        work.updateChatLastHandle(chatId, m._sender->id);
    QList<_MsgAttachment*> atts = m._attachments.values();
    std::sort(atts.begin(), atts.end(), compareMsgAttachmentAsc);
    for (_MsgAttachment* att : atts) {
        qint64 attId = work.findAttachment(*att);
        if (attId == 0)
            attId = work.insertAttachment(*att);
        work.joinMessageAtta(id, attId);
    }
}

void IOS6MessageMerge::listAttachmentFiles()
{
    for (_MsgMessage* m : std::as_const(m_withAttachments)) {
        QList<_MsgAttachment*> atts = m->_attachments.values();
        std::sort(atts.begin(), atts.end(), compareMsgAttachmentAsc);
        for (const _MsgAttachment* att : atts) {
            const QString rel = mediaRelativePath(att->filename);
            if (rel.isEmpty() || !QFileInfo(att->_path).isFile())
                continue;
            items.append({ QStringLiteral("MediaDomain"), att->_path, rel, false, true });
            if (!att->_notAsWritten.isEmpty())
                notAsWritten.append(att);
        }
    }
}
