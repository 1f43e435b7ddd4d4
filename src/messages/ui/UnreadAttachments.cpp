#include "messages/ui/UnreadAttachments.h"

#include "app/CountText.h"
#include "messages/store/MsgAttachment.h"

namespace
{
// Attachments named in the text at most; the count tells the rest.
constexpr int kNamed = 10;
} // namespace

void UnreadAttachments::add(const _MsgAttachment& a, const QString& why)
{
    if (++m_count <= kNamed)
        m_named << QStringLiteral("%1: %2").arg(a.filename, why);
}

void UnreadAttachments::add(const UnreadAttachments& other)
{
    m_count += other.m_count;
    m_named += other.m_named.mid(0, kNamed - m_named.size());
}

QString UnreadAttachments::text() const
{
    if (m_count == 0)
        return QString();
    return CountText::listed(m_count, QStringLiteral("1 attachment could not be read:"),
        QStringLiteral("%1 attachments could not be read:"), m_named)
        .join(QLatin1Char('\n'));
}
