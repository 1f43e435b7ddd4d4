#pragma once

#include "app/AbsFormatExport.h"
#include "messages/modern/IOS6MessageDb.h"

#include <QDir>
#include <QStringList>

class _MsgMessage;

// Writes messages into a message database of the modern schema under a folder (the local message
// store layout), with their chats, handles, joins and attachment files, never twice the same
// message. init() opens or creates the store and begins one transaction; uninit() commits.
class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    ExportMessagesDb(const QDir& folder, const _CountryInfo& country);
    ~ExportMessagesDb() override = default;

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;

    // The store, for a caller that abandons the run (close without commit).
    IOS6MessageDb& db() { return msgDb; }
    // Local files of attachments that could not be copied into the store, in order met.
    const QStringList& failedCopies() const { return m_failedCopies; }

private:
    qint64 handleRowid(qint64 chatId, const _MsgHandle* handle);
    void writeAttachments(const _MsgMessage& message, qint64 messageId);
    void copyAttachmentFileOf(const _MsgAttachment& attachment);

    IOS6MessageDb msgDb;
    QDir relayDir;
    QStringList m_failedCopies;
};
