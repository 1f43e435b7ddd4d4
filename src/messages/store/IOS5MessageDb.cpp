#include "messages/store/IOS5MessageDb.h"

#include "app/Clock.h"
#include "app/FileNameFit.h"
#include "app/MacEpoch.h"
#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/WrittenDisks.h"
#include "app/sqlite/Sqlite3RowCount.h"
#include "device/PlistCFType.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgIdentity.h"
#include "messages/store/MsgPath.h"
#include "messages/store/MsgText.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <memory>
#include <stdexcept>

void sqlite3fun_read(sqlite3_context* context, int, sqlite3_value** argv)
{
    sqlite3_result_int(context, sqlite3_value_int(argv[0]) != 0 ? 1 : 0);
}

QStringList g_madridAttachmentGUIDS(const QByteArray& info)
{
    static const QRegularExpression rx(QStringLiteral(
        "[a-zA-Z0-9]{8}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{12}"));
    QString text;
    text.reserve(info.size());
    for (char ch : info) {
        const bool keep
            = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-';
        text += keep ? QLatin1Char(ch) : QLatin1Char(' ');
    }
    QStringList guids;
    auto it = rx.globalMatch(text);
    while (it.hasNext())
        guids << it.next().captured(0);
    return guids;
}

IOS5MessageDb::IOS5MessageDb(const QDir& folder, const _CountryInfo& country)
    : _contactsDb(folder, country)
    , recycleStore(folder.absoluteFilePath(QStringLiteral("recycle.db")))
    , _countryDb(QString())
    , _countryInfo(country)
{
    _relayDir = QDir(folder.absoluteFilePath(QStringLiteral("file-relay")));
    _dbPath = _relayDir.absoluteFilePath(QStringLiteral("var/mobile/Library/SMS/sms.db"));
}

void IOS5MessageDb::openCheck()
{
    if (handle)
        return;
    setForeign(true);
    openThrow(_dbPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    // Harmless, so that the device's triggers may call it.
    sqlite3_create_function_v2(handle, "read", 1, SQLITE_ANY | SQLITE_INNOCUOUS, nullptr, sqlite3fun_read,
        nullptr, nullptr, nullptr);
    tableSql = tableTextsThrow({ QStringLiteral("madrid_chat"), QStringLiteral("madrid_attachment") });
}

namespace
{
// Values of the flags column of an SMS or MMS row.
enum IOS5MessageFlags : int {
    kIOS5FlagsSent = 3, // written on the device and sent
};

// Values of the is_madrid column.
enum IOS5MessageKind : int {
    kIOS5KindSms = 0, // SMS and MMS rows; any other value is an iMessage row
};

// A chat's only participant is the sender of every message; in a group only incoming messages
// name one, looked up by address.
_MsgHandle* senderInChat(const _MsgChat* chat, bool fromMe, const std::function<QString()>& address)
{
    if (chat->_handles.size() == 1)
        return chat->_handles.begin().value();
    if (chat->_handles.size() > 1 && !fromMe)
        return chat->_handles.value(address());
    return nullptr;
}

void setFixedFields(_MsgMessage* m)
{
    m->replace = 0;
    m->handle_id = 0;
    m->version = 10;
    m->type = 0;
    m->is_delivered = 0;
    m->is_finished = 1;
    m->is_prepared = 1;
    m->is_read = 1;
    m->is_sent = 1;
    m->cache_has_attachments = 0;
    m->was_data_detected = 1;
}

// The columns every row kind fills alike.
void fillCommonFields(_MsgMessage* m, qint64 rowid, const Sqlite3Cursor& c)
{
    m->rowid = rowid;
    m->_sort_rowid = rowid;
    m->text = c.getText("text");
    m->service_center = c.getText("svc_center");
    m->subject = c.getText("subject");
    m->country = c.getText("country");
    setFixedFields(m);
}

// An iMessage attachment from its madrid_attachment row, entered under minus the rowid.
_MsgAttachment* newMadridAttachment(const Sqlite3Cursor& ac, qint64 key, const QDir& relayDir)
{
    auto* a = new _MsgAttachment;
    a->rowid = key;
    a->guid = ac.getText("attachment_guid");
    a->created_date = ac.getInt("created_date");
    a->start_date = ac.getInt("start_date");
    QString fn = ac.getText("filename");
    if (fn.startsWith(QLatin1String("/var/mobile/")))
        fn = QStringLiteral("~/") + fn.mid(12);
    a->filename = fn;
    if (!fn.isEmpty())
        a->_path = msgSourcePath(relayDir, msgRelayPath(relayDir, fn));
    a->uti = ac.getText("uti_type");
    a->mime_type = ac.getText("mime_type");
    a->transfer_state = ac.getInt("transfer_state");
    a->is_outgoing = ac.getInt("is_incoming") == 0 ? 1 : 0;
    return a;
}

// Relative path of an MMS part under the relay folder, named by group, message and part. A suffix
// too long to be an extension (FileNameFit) is left out: the name would not fit on a disk.
QString pieceRelativePath(int groupId, int messageId, int partId, const QString& contentLoc)
{
    const QString lastComponent = contentLoc.mid(contentLoc.lastIndexOf('/') + 1);
    const int dot = lastComponent.lastIndexOf('.');
    QString suffix = dot >= 0 ? lastComponent.mid(dot + 1) : QString();
    if (FileNameFit::extensionOf(QStringLiteral("x.") + suffix).isEmpty())
        suffix.clear();
    return QStringLiteral("var/mobile/Library/SMS/Parts/%1/%2/%3-%4.%5")
        .arg(QString::number(groupId % 256, 16).rightJustified(2, '0'),
            QString::number(messageId % 16).rightJustified(2, '0'))
        .arg(messageId)
        .arg(partId)
        .arg(suffix);
}

// A part's data is written whole under path or not at all; one already there as the data is is left
// alone. Throws std::runtime_error with the path and the system's reason when it cannot be written.
void writePieceDataThrow(const QString& path, const QByteArray& blob)
{
    if (blob.isEmpty() || path.isEmpty() || RegularFile::holds(path, blob))
        return;
    MadeFolders::makePathThrow(QFileInfo(path).absolutePath());
    const WrittenDisks::Unnoted cached;
    OutputFile out(path);
    out.setFollowLinks(false);
    if (!out.open(QIODevice::WriteOnly) || out.write(blob) != blob.size() || !out.commit())
        throw std::runtime_error(out.failure().toStdString());
}

// An MMS media part from its msg_pieces row; its data, when held inline, is written out (see
// writePieceDataThrow).
_MsgAttachment* newPieceAttachment(const Sqlite3Cursor& c, qint64 rowid, const QDir& relayDir)
{
    auto a = std::make_unique<_MsgAttachment>();
    a->rowid = rowid;
    const QString contentType = c.getText("content_type");
    const QString contentLoc = c.getText("content_loc");
    const QString rel
        = pieceRelativePath(c.getInt("group_id"), c.getInt("message_id"), c.getInt("part_id"), contentLoc);
    a->guid = hashUUID(rel.toUtf8());
    a->_path = msgSourcePath(relayDir, msgConfinedPath(relayDir, rel));
    writePieceDataThrow(a->_path, c.getBlob("data"));
    a->created_date = int(Clock::secsSinceEpoch() - kMacEpochOffset);
    a->start_date = 0;
    a->filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                      .arg(a->guid.mid(0, 2).toLower(), a->guid.mid(2, 2).toLower(), a->guid, contentLoc);
    const QStringList typeParts = contentType.split('/', Qt::KeepEmptyParts);
    a->uti = QStringLiteral("public.") + (typeParts.size() > 1 ? typeParts.at(1) : QString());
    a->mime_type = contentType;
    a->transfer_state = 5;
    a->is_outgoing = c.getInt("msg_flags") == kIOS5FlagsSent ? 1 : 0;
    a->transfer_name = contentLoc;
    return a.release();
}

// The first media part goes into the message itself; each further one into a copy of the message
// that carries only that part.
void addPieceAttachment(__MsgData* d, _MsgMessage* m, _MsgAttachment* a, qint64 pieceRowid)
{
    if (m->_attachments.isEmpty()) {
        m->_attachments.insert(a->guid, a);
        m->text = QString(m->text) + QChar(0xFFFC);
        m->attributedBody = msgAttaAttributeBody(a->guid);
        return;
    }
    qDebug() << "IOS5MessageDb::messages, clone attachment message.";
    _MsgMessage* copy = d->newMessage(*m);
    copy->rowid = -1647483648LL - pieceRowid;
    d->messages.insert(copy->rowid, copy);
    copy->guid = hashUUID(QStringLiteral("%1(%2)").arg(a->guid).arg(m->rowid).toUtf8());
    copy->text = QString(QChar(0xFFFC));
    copy->_attachments.clear();
    copy->_attachments.insert(a->guid, a);
    copy->attributedBody = msgAttaAttributeBody(a->guid);
}

// The text of a text/plain part, up to its first NUL, appended on a new line.
void appendPieceText(_MsgMessage* m, const QByteArray& blob)
{
    const int zero = blob.indexOf('\0');
    const QString part = QString::fromUtf8(zero >= 0 ? blob.left(zero) : blob);
    m->text = (QString(m->text) + QLatin1Char('\n') + part).trimmed();
}
} // namespace

void IOS5MessageDb::chats(MsgData& data)
{
    openCheck();
    _contactsDb.openQuietly();
    __MsgData* d = data.p();
    loadSmsChats(d);
    loadGroupMembers(d);
    if (!tableSql.contains(QStringLiteral("madrid_chat")))
        return;
    QHash<QString, _MsgChat*> index;
    loadMadridChats(d, index);
    loadMadridChatDates(index);
}

void IOS5MessageDb::loadSmsChats(__MsgData* d)
{
    Sqlite3Cursor c
        = queryThrow(QStringLiteral("select g.rowid, %1, m.date-%2 as last_date from msg_group "
                                    "as g inner join message as m on g.newest_message=m.rowid")
                         .arg(columnsOf(QStringLiteral("msg_group"), { "hash" }, QStringLiteral("g")))
                         .arg(kMacEpochOffset));
    while (c.moveNext()) {
        const qint64 key = c.getInt64("rowid");
        if (d->chats.contains(key))
            continue;
        auto* chat = new _MsgChat;
        chat->rowid = key;
        chat->_last = c.getInt("last_date");
        chat->style = 45;
        chat->state = 3;
        chat->guid = QStringLiteral("SMS;-;") + QString::number(c.getInt("hash"));
        chat->chat_identifier = QStringLiteral("unknown");
        chat->service_name = QStringLiteral("SMS");
        chat->account_login = QStringLiteral("E:");
        d->chats.insert(key, chat);
    }
}

_MsgHandle* IOS5MessageDb::groupMemberHandle(__MsgData* d, const Sqlite3Cursor& c)
{
    const qint64 k = c.getInt64("rowid");
    if (_MsgHandle* h = d->handles.value(k))
        return h;
    auto* h = new _MsgHandle;
    d->handles.insert(k, h);
    h->rowid = k;
    h->country = c.getText("country");
    h->service = QStringLiteral("SMS");
    h->id = _countryDb.infoByCode(h->country, nullptr).formatNumber(c.getText("address"));
    _contactsDb.fillHandleContact(*h, "IOS5MessageDb::chats");
    return h;
}

void IOS5MessageDb::loadGroupMembers(__MsgData* d)
{
    Sqlite3Cursor c = queryThrow(
        QStringLiteral("select %1 from group_member")
            .arg(columnsOf(QStringLiteral("group_member"), { "rowid", "group_id", "country", "address" })));
    while (c.moveNext()) {
        _MsgChat* chat = d->chats.value(c.getInt64("group_id"));
        if (!chat)
            continue;
        _MsgHandle* h = groupMemberHandle(d, c);
        if (chat->_handles.contains(h->id))
            continue;
        // The second member makes the conversation a group, named by a hash of its first guid.
        if (chat->_handles.size() == 1) {
            chat->chat_identifier = genChatIdentifier(chat->guid);
            chat->guid = QStringLiteral("SMS;+;") + chat->chat_identifier;
            chat->room_name = chat->chat_identifier;
            chat->style = 43;
            chat->account_id = hashUUID(chat->guid.toUtf8());
        } else if (chat->_handles.isEmpty()) {
            chat->chat_identifier = h->id;
            chat->guid = QStringLiteral("SMS;-;") + h->id;
            chat->style = 45;
        }
        chat->_handles.insert(h->id, h);
    }
}

void IOS5MessageDb::loadMadridChats(__MsgData* d, QHash<QString, _MsgChat*>& index)
{
    Sqlite3Cursor c = queryThrow(QStringLiteral("select %1 from madrid_chat")
                                     .arg(columnsOf(QStringLiteral("madrid_chat"),
                                         { "rowid", "participants", "chat_identifier", "style", "state",
                                             "account_id", "account_login" })));
    while (c.moveNext()) {
        const qint64 key = -c.getInt64("rowid");
        if (d->chats.contains(key))
            continue;
        bool tooLarge = false;
        const PlistCFType participants
            = PlistCFType::createCFPropertyList(c.getBlob("participants"), &tooLarge);
        // That one value goes; the chat and the rest of the messages are read.
        if (tooLarge)
            qWarning().noquote() << PlistCFType::expandsTooFarText(
                QStringLiteral("the participants of madrid_chat row %1 in %2").arg(-key).arg(_dbPath));
        const int n = participants.array_size();
        auto* chat = new _MsgChat;
        chat->rowid = key;
        d->chats.insert(key, chat);
        chat->chat_identifier = _countryInfo.formatNumber(c.getText("chat_identifier"));
        chat->guid
            = (n < 2 ? QStringLiteral("iMessage;-;") : QStringLiteral("iMessage;+;")) + chat->chat_identifier;
        chat->style = c.getInt("style");
        chat->state = c.getInt("state");
        chat->account_id = c.getText("account_id");
        chat->service_name = QStringLiteral("iMessage");
        chat->account_login = c.getText("account_login");
        index.insert(chat->chat_identifier, chat);
        for (int i = 0; i < n; ++i) {
            auto* h = new _MsgHandle;
            h->rowid = -(qint64(d->handles.size()) + 1);
            h->service = QStringLiteral("iMessage");
            h->id = _countryInfo.formatNumber(participants.at(i).toString());
            _contactsDb.fillHandleContact(*h, "IOS5MessageDb::chats");
            d->handles.insert(h->rowid, h);
            chat->_handles.insert(h->id, h);
        }
    }
}

void IOS5MessageDb::loadMadridChatDates(const QHash<QString, _MsgChat*>& index)
{
    for (const char* sql : { "select madrid_roomname,max(date) as last_date from message group by "
                             "madrid_roomname having madrid_roomname "
                             "is not null and madrid_roomname <> ''",
             "select madrid_handle,max(date) as last_date from message group by madrid_handle having "
             "madrid_handle is not "
             "null and madrid_handle <> ''" }) {
        Sqlite3Cursor c = queryThrow(sql);
        while (c.moveNext())
            if (_MsgChat* chat = index.value(c.getText(0)))
                chat->_last = c.getInt("last_date");
    }
}

void IOS5MessageDb::messages(MsgData& data, qint64 chat)
{
    openCheck();
    chats(data);
    __MsgData* d = data.p();

    QHash<QString, _MsgChat*> index;
    for (_MsgChat* ch : data.chats())
        index.insert(ch->chat_identifier, ch);

    const bool hasMadridAttachment = tableSql.contains(QStringLiteral("madrid_attachment"));
    Sqlite3Sql sql = messageSql();
    if (chat > 0)
        sql.appendSql(QStringLiteral(" where m.group_id=%1").arg(chat));
    else if (chat < 0)
        sql.appendSql(
            QStringLiteral(" inner join madrid_chat as c on (m.madrid_roomname=c.chat_identifier or "
                           "m.madrid_handle=c.chat_identifier) and c.rowid=%1")
                .arg(-chat));
    Sqlite3Cursor c = queryThrow(sql);
    const QString attachmentColumns = hasMadridAttachment
        ? columnsOf(QStringLiteral("madrid_attachment"),
            { "rowid", "attachment_guid", "created_date", "start_date", "filename", "uti_type", "mime_type",
                "transfer_state", "is_incoming" })
        : QString();
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (d->messages.contains(rowid))
            continue;
        _MsgMessage* m = d->newMessage();
        d->messages.insert(rowid, m);
        fillCommonFields(m, rowid, c);
        if (c.getInt("is_madrid") == kIOS5KindSms)
            readSmsRow(d, c, m);
        else {
            readMadridRow(d, c, m, index);
            if (hasMadridAttachment)
                readMadridAttachments(d, c, m, attachmentColumns);
        }
    }
    if (chat >= 0)
        loadMsgPieces(d, chat);
}

Sqlite3Sql IOS5MessageDb::messageSql()
{
    // The columns the rows of each kind are read from, none other (see fillCommonFields, readSmsRow
    // and readMadridRow).
    return Sqlite3Sql(
        QStringLiteral("select %1 from message as m")
            .arg(columnsOf(QStringLiteral("message"),
                { "rowid", "text", "svc_center", "subject", "country", "is_madrid", "date", "flags",
                    "group_id", "address", "madrid_guid", "madrid_account", "madrid_account_guid",
                    "madrid_error", "madrid_date_read", "madrid_date_delivered", "madrid_handle",
                    "madrid_roomname", "madrid_attributedBody", "madrid_attachmentInfo" },
                QStringLiteral("m"))));
}

qint64 IOS5MessageDb::total()
{
    openCheck();
    // The message rows as the list reads them: a text it cannot read (larger than a phone keeps)
    // leaves the messages uncounted, as it leaves the page without them. A database too small to
    // hold such a text is counted by its table alone.
    if (mayHoldValueOverBound())
        return sqlite3RowCountThrow(*this, messageSql());
    Sqlite3Cursor c = queryThrow("select count(*) from message");
    return c.moveNext() ? c.getInt64(0) : 0;
}

void IOS5MessageDb::readSmsRow(__MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m)
{
    m->guid = genUUID();
    m->service = QStringLiteral("SMS");
    m->account = QStringLiteral("e:");
    m->error = 0;
    // Unix seconds, converted in 32-bit arithmetic as the device stores them.
    m->date = int(quint32(c.getInt("date")) - quint32(kMacEpochOffset));
    m->date_read = m->date;
    m->date_delivered = m->date;
    m->is_from_me = c.getInt("flags") == kIOS5FlagsSent ? 1 : 0;
    _MsgChat* ch = d->chats.value(qint64(c.getInt("group_id")));
    if (!ch)
        return;
    m->_chat = ch;
    ch->_messages.insert(d->messageKey(m->rowid), m);
    m->_sender = senderInChat(ch, m->is_from_me, [&] {
        return _countryDb.infoByCode(c.getText("country"), nullptr).formatNumber(c.getText("address"));
    });
}

void IOS5MessageDb::readMadridRow(
    __MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m, const QHash<QString, _MsgChat*>& index)
{
    m->guid = c.getText("madrid_guid");
    m->service = QStringLiteral("iMessage");
    m->account = c.getText("madrid_account");
    m->account_guid = c.getText("madrid_account_guid");
    m->error = c.getInt("madrid_error");
    m->date = c.getInt("date"); // already counted from 2001
    m->date_read = c.getInt("madrid_date_read");
    m->date_delivered = c.getInt("madrid_date_delivered");
    m->is_from_me = m->date_delivered > 0 ? 1 : 0;
    const QString handleId = _countryInfo.formatNumber(c.getText("madrid_handle"));
    const QString room = c.getText("madrid_roomname");
    if (_MsgChat* ch = index.value(room.isEmpty() ? handleId : room)) {
        m->_chat = ch;
        ch->_messages.insert(d->messageKey(m->rowid), m);
        m->_sender = senderInChat(ch, m->is_from_me, [&] { return handleId; });
    }
}

void IOS5MessageDb::readMadridAttachments(
    __MsgData* d, const Sqlite3Cursor& c, _MsgMessage* m, const QString& columns)
{
    const QByteArray madridBody = c.getBlob("madrid_attributedBody");
    for (const QString& g : g_madridAttachmentGUIDS(c.getBlob("madrid_attachmentInfo"))) {
        if (m->_attachments.contains(g))
            continue;
        Sqlite3Sql asql(
            QStringLiteral("select %1 from madrid_attachment where attachment_guid=?").arg(columns));
        asql.addTextParam(g);
        Sqlite3Cursor ac = queryThrow(asql);
        if (!ac.moveNext())
            continue;
        const qint64 key = -ac.getInt64("rowid");
        _MsgAttachment* a = d->attachments.value(key);
        if (!a) {
            a = newMadridAttachment(ac, key, _relayDir);
            d->attachments.insert(key, a);
        }
        m->_attachments.insert(a->guid, a);
        m->attributedBody = m->_attachments.size() == 1 ? msgAttaAttributeBody(a->guid) : madridBody;
    }
}

void IOS5MessageDb::loadMsgPieces(__MsgData* d, qint64 chat)
{
    Sqlite3Sql psql(
        QStringLiteral("select %1, m.group_id, m.flags as msg_flags from msg_pieces as p inner join "
                       "message as m on p.message_id=m.rowid")
            .arg(columnsOf(QStringLiteral("msg_pieces"),
                { "rowid", "message_id", "part_id", "content_type", "content_loc", "data" },
                QStringLiteral("p"))));
    if (chat > 0)
        psql.appendSql(QStringLiteral(" and m.group_id=%1").arg(chat));
    Sqlite3Cursor c = queryThrow(psql);
    while (c.moveNext()) {
        const qint64 rowid = c.getInt64("rowid");
        if (d->attachments.contains(rowid))
            continue;
        _MsgMessage* m = d->messages.value(qint64(c.getInt("message_id")));
        if (!m)
            continue;
        const QString contentType = c.getText("content_type");
        if (contentType.isEmpty()
            || contentType.startsWith(QLatin1String("application/"), Qt::CaseInsensitive))
            continue;
        if (contentType.compare(QLatin1String("text/plain"), Qt::CaseInsensitive) == 0) {
            appendPieceText(m, c.getBlob("data"));
            continue;
        }
        if (c.getText("content_loc").isEmpty())
            continue;
        _MsgAttachment* a = newPieceAttachment(c, rowid, _relayDir);
        d->attachments.insert(rowid, a);
        addPieceAttachment(d, m, a, rowid);
    }
}
