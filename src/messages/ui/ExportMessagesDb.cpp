#include "messages/ui/ExportMessagesDb.h"

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgPath.h"
#include "messages/ui/AttachmentFileCopy.h"

#include <QDebug>
#include <QFileInfo>

namespace
{
// Chats at or below this rowid are the model's placeholders for messages without a known chat.
constexpr qint64 kUnknownChatRowid = -2047483647;
} // namespace

ExportMessagesDb::ExportMessagesDb(const QDir& folder, const _CountryInfo& country)
    : msgDb(folder, country, true)
    , relayDir(folder.absoluteFilePath(QStringLiteral("file-relay")))
{
}

void ExportMessagesDb::init()
{
    msgDb.beginEdit();
}

void ExportMessagesDb::uninit()
{
    msgDb.endEdit(true);
    msgDb.close();
}

qint64 ExportMessagesDb::handleRowid(qint64 chatId, const _MsgHandle* handle)
{
    if (!handle)
        return 0;
    qint64 id = msgDb.findHandle(*handle);
    if (id != 0) {
        if (!msgDb.isHandleBelong2Chat(chatId, id))
            msgDb.joinChatHandle(chatId, id);
        return id;
    }
    id = msgDb.insertHandle(*handle);
    msgDb.joinChatHandle(chatId, id);
    return id;
}

void ExportMessagesDb::write(_MsgMessage& message)
{
    if (message.item_type != 0 && !msgDb.isItemTypeEnabled())
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
    qint64 chatId = msgDb.findChat(chat->guid);
    if (chatId == 0)
        chatId = msgDb.insertChatAndHandles(*chat);
    const qint64 senderId = handleRowid(chatId, message._sender);
    qint64 messageId = msgDb.findMessageHash(message);
    if (messageId == 0)
        messageId = msgDb.findMessage(message.guid);
    if (messageId == 0) {
        const qint64 otherId = handleRowid(chatId, message._other_handle);
        messageId = msgDb.insertMessage(message, senderId, otherId, QString());
        msgDb.joinChatMessage(chatId, messageId, qint64(message.date) * 1000000000LL);
        msgDb.updateChatLastDate21(chatId, message.date);
    }
    if (chat->isGroup() && message._sender)
        msgDb.updateChatLastHandle(chatId, message._sender->id);
    writeAttachments(message, messageId);
}

void ExportMessagesDb::writeAttachments(const _MsgMessage& message, qint64 messageId)
{
    for (const _MsgAttachment* a : message.attachments()) {
        copyAttachmentFileOf(*a);
        qint64 attId = msgDb.findAttachment(*a);
        if (attId == 0)
            attId = msgDb.insertAttachment(*a);
        msgDb.joinMessageAtta(messageId, attId);
    }
}

void ExportMessagesDb::copyAttachmentFileOf(const _MsgAttachment& a)
{
    if (a._path.isEmpty() || !QFileInfo(a._path).isFile())
        return;
    // The device path decides the place in the store; one that would lead out of it gets no copy.
    const QString dest = msgRelayPath(relayDir, a.filename);
    if (dest.isEmpty()) {
        if (!a.filename.isEmpty())
            m_failedCopies << a._path;
        return;
    }
    const QFileInfo info(dest);
    if (info.exists() || info.isSymLink())
        return;
    if (!QDir().mkpath(info.absolutePath()) || !copyAttachmentFile(a._path, dest))
        m_failedCopies << a._path;
}
