#include "messages/ui/UnreadAttachments.h"

#include "messages/store/MsgAttachment.h"

void UnreadAttachments::add(const _MsgAttachment& a, const QString& why)
{
    m_unread.add(QStringLiteral("%1: %2").arg(a.filename, why));
}

void UnreadAttachments::add(const UnreadAttachments& other)
{
    m_unread.add(other.m_unread);
}

QString UnreadAttachments::text() const
{
    return m_unread
        .lines(QStringLiteral("1 attachment could not be read:"),
            QStringLiteral("%1 attachments could not be read:"))
        .join(QLatin1Char('\n'));
}
